// What the browser tests share: Chromium from the system, started headless for a profile folder,
// the checks they count, and the waits they use.
import { createRequire } from 'node:module';
import path from 'node:path';

const require = createRequire(path.join(process.env.WEB_TEST_NODE_DIR, 'package.json'));
const { chromium } = require('playwright-core');

// Without the background services, which this machine's closed network would refuse.
export const launchChromium = (profile, viewport, extraArgs = []) => chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync', ...extraArgs],
  viewport,
});

export const counts = { passed: 0, failed: 0 };
export function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (ok) counts.passed += 1; else counts.failed += 1;
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// True once the predicate holds in the page, false after the given seconds.
export async function waitFor(page, predicate, arg, seconds = 15) {
  try {
    await page.waitForFunction(predicate, arg, { timeout: seconds * 1000, polling: 100 });
    return true;
  } catch {
    return false;
  }
}
