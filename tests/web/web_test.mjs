// Plays the real page in headless Chromium, a tab per part: a desktop (title, music, keys, storage,
// a new build, offline, Quit), a phone held sideways with the touch buttons, a game controller.
//   WEB_TEST_URL the site (serve.py), WEB_TEST_SERVED the link to the folder served,
//   WEB_TEST_NEXT_SITE the next build's, WEB_TEST_SHOTS the screenshots' folder
import { mkdirSync, mkdtempSync, readFileSync, readdirSync, renameSync, rmSync, statSync, symlinkSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { check, counts, launchChromium, sleep, waitFor } from './browser.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
const { WEB_TEST_URL: url, WEB_TEST_SERVED: served, WEB_TEST_NEXT_SITE: next, WEB_TEST_SHOTS: shots } = process.env;
const base64 = (file) => readFileSync(path.join(root, file)).toString('base64');
const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);
const savedKeys = [0x40000052, 0x40000051, 0x40000050, 0x64, 0x20, 0x65, 0x71, 0x66];

// In the page before its own scripts: a tap on the audio output, the times of the game's frames,
// the policy's refusals, and readers of the canvas (the desktop's title picture given as base64).
function probes(titlePng) {
  const zw = window.__zw = { frames: [], analysers: [], violations: [] };
  document.addEventListener('securitypolicyviolation', (event) => zw.violations.push(event.violatedDirective));
  const connect = AudioNode.prototype.connect;
  AudioNode.prototype.connect = function (target, ...rest) {
    if (target instanceof AudioDestinationNode) zw.analysers.push(connect.call(this, this.context.createAnalyser()));
    return connect.call(this, target, ...rest);
  };
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (...args) {
    if (this.canvas.id === 'canvas') zw.frames.push(performance.now());
    return put.apply(this, args);
  };
  // A PNG's pixels as its bytes say, without the colour management browsers apply to pictures.
  const decode = async (bytes) => {
    const image = await createImageBitmap(new Blob([bytes]), { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
    const context = new OffscreenCanvas(image.width, image.height).getContext('2d');
    context.drawImage(image, 0, 0);
    return { width: image.width, pixels: context.getImageData(0, 0, image.width, image.height).data };
  };
  const title = decode(Uint8Array.from(atob(titlePng), (c) => c.charCodeAt(0)));
  zw.canvas = () => document.getElementById('canvas').getContext('2d').getImageData(0, 0, 800, 600).data;
  const differ = (a, i, b, j) => a[i] !== b[j] || a[i + 1] !== b[j + 1] || a[i + 2] !== b[j + 2];
  // Pixels of rows y0 to y1 that differ from the desktop's title.
  zw.differing = async (y0 = 0, y1 = 600) => {
    const [reference, canvas] = [(await title).pixels, zw.canvas()];
    let count = 0;
    for (let i = y0 * 3200; i < y1 * 3200; i += 4) count += differ(reference, i, canvas, i);
    return count;
  };
  // The y at which one of the bird's four wing-beat cells is drawn 1:1 with its left at x, or -1.
  zw.birdY = async (x) => {
    zw.bird = zw.bird || await decode(Module.FS.readFile('/game/Common/Bird.png'));
    const [{ width, pixels }, canvas] = [zw.bird, zw.canvas()];
    const fits = (y, cell) => {
      for (let row = 0; row < 160; ++row) {
        for (let column = 0; column < 160; ++column) {
          const s = (row * width + cell * 160 + column) * 4;
          const key = pixels[s] === 255 && pixels[s + 1] === 0 && pixels[s + 2] === 255;
          if (!key && differ(pixels, s, canvas, ((y + row) * 800 + x + column) * 4)) return false;
        }
      }
      return true;
    };
    for (let y = 0; y <= 440; ++y) for (let cell = 0; cell < 4; ++cell) if (fits(y, cell)) return y;
    return -1;
  };
  const wait = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
  // The loudest 50 ms of the audio output over the given time, as RMS.
  zw.loudness = async (ms) => {
    let loudest = 0;
    const samples = new Float32Array(2048);
    for (let t = 0; t < ms; t += 50, await wait(50)) {
      for (const analyser of zw.analysers) {
        analyser.getFloatTimeDomainData(samples);
        loudest = Math.max(loudest, Math.sqrt(samples.reduce((sum, v) => sum + v * v, 0) / samples.length));
      }
    }
    return loudest;
  };
  // The median time between frames over the given time, which a busy machine moves less than their count.
  zw.gap = async (ms) => {
    const first = zw.frames.length;
    await wait(ms);
    const times = zw.frames.slice(first);
    return times.slice(1).map((time, index) => time - times[index]).sort((a, b) => a - b)[(times.length - 1) >> 1];
  };
  zw.storedFiles = () => new Promise((resolve) => {
    indexedDB.open('/zellworth/Common').onsuccess = ({ target }) => {
      target.result.transaction('FILE_DATA').objectStore('FILE_DATA').getAllKeys().onsuccess = (keys) => resolve(keys.target.result.map(String).sort());
    };
  });
  zw.settings = () => { try { return Array.from(new Int32Array(Module.FS.readFile('/game/Common/Settings.bin').buffer)); } catch { return null; } };
}

const profile = mkdtempSync(path.join(tmpdir(), 'zellworth-web-test-'));
const browser = await launchChromium(profile, { width: 800, height: 600 });
// Each part's page, with the probes; a new tab, for which the browser holds the sound back again.
let page, cdp;
async function newPage(width, height) {
  const previous = page;
  page = await browser.newPage();
  await page.addInitScript(probes, base64('docs/title.png'));
  await page.setViewportSize({ width, height });
  cdp = await browser.newCDPSession(page);
  await previous?.close();
}
const ask = (fn, arg) => page.evaluate(fn, arg);
const sentBytes = async () => Number(await (await fetch(url + 'bytes-sent')).text());
const showsTitle = () => waitFor(page, async () => (await __zw.differing(0, 580)) === 0);  // above the hint naming the fullscreen key
const onScreen = (screen) => waitFor(page, (name) => document.body.dataset.screen === name, screen, 5);
const keys = async (list, ms = 0) => { for (const key of list) { await page.keyboard.press(key); await sleep(ms); } };
const screenshot = async (name, desktop) => {  // at a desktop browser's 1280 x 720, for the README
  if (!shots) return;
  mkdirSync(shots, { recursive: true });
  if (desktop) await page.setViewportSize({ width: 1280, height: 720 });
  await sleep(300).then(() => page.screenshot({ path: path.join(shots, name) }));
  if (desktop) await page.setViewportSize({ width: 800, height: 600 });
};
const rms = () => page.evaluate(() => __zw.loudness(1000));
const soundPressed = () => page.locator('#sound').getAttribute('aria-pressed');

// A navigation up to the start prompt, answered with a key, or, where the browser lets the page
// play sound at once (a reload after keys were pressed on it), up to the start; then the title.
// An evaluation counts as a gesture and a Shift does not: none comes before the page has chosen,
// one with the Shift.
async function open(navigate = () => page.goto(url)) {
  const chosen = page.waitForEvent('console', { predicate: (m) => /^Zellworth: (started|waiting)/.test(m.text()), timeout: 20000 });
  await navigate();
  const prompted = (await chosen).text().includes('waiting');
  if (prompted) await ask(() => 0).then(() => page.keyboard.press('Shift'));
  const titled = await showsTitle();
  return { prompted, titled, exact: titled && await ask(() => __zw.differing()) === 0 };
}

// One game, whatever presses the keys (press(action, ms) holds confirm, up or fire): confirm starts
// it with the bird at (60, 200), a held up moves the bird up, a held fire clears the briefing box.
async function steer(how, press) {
  await press('confirm', 100);
  check(await waitFor(page, async () => (await __zw.birdY(60)) === 200, null, 10),
    `${how}: confirm starts a game with the bird drawn from Bird.png at (60, 200)`);
  const rows = () => ask(() => Array.from(__zw.canvas().slice(3200 * 250, 3200 * 260)));
  const briefing = await rows();
  await press('up', 200);
  const y = await ask(() => __zw.birdY(60));
  check(y >= 0 && y < 200, `${how}: a held up moves the bird up (to y ${y})`);
  await press('fire', 600);
  const changed = (await rows()).filter((value, index) => value !== briefing[index]).length;
  check(changed > 1000, `${how}: a held fire shoots, the briefing box is gone (${changed} bytes of its rows changed)`);
}

try {
  // --- A desktop browser at 800 x 600 -----------------------------------------------------------
  await newPage(800, 600);
  const first = await open();
  check(first.prompted, 'the page asks for a click or a key before the sound starts');
  check(first.exact, 'the title screen equals the desktop\'s title, 0 differing pixels');
  const layout = await ask(() => {
    const canvas = document.getElementById('canvas');
    const box = canvas.getBoundingClientRect();
    return [box.x, box.y, box.width, box.height, getComputedStyle(canvas).imageRendering].join(' ');
  });
  check(layout === '0 0 800 600 pixelated', `at 800 x 600 the picture fills the page 1:1, pixelated (${layout})`);
  const loud = await ask(() => __zw.loudness(1500));
  check(loud > 0.002, `the title music reaches the page's audio output (RMS ${loud.toFixed(4)})`);
  // Every file of a first visit once (the worker's copies included), not the compressed copies,
  // which this server never sends.
  const siteBytes = readdirSync(served).filter((file) => !file.endsWith('.gz')).reduce((sum, file) => sum + statSync(path.join(served, file)).size, 0);
  await ask(() => navigator.serviceWorker.ready);
  const firstBytes = await sentBytes();
  check(firstBytes <= siteBytes, `a first visit downloads ${firstBytes} bytes of the site's ${siteBytes}`);
  await screenshot('title.png', true);
  await page.getByRole('button', { name: 'Sound' }).click();
  await sleep(300);
  const quiet = await rms();
  check(quiet < 0.0001 && await soundPressed() === 'false', `the Sound button silences the page's audio output (RMS ${quiet.toFixed(4)})`);
  await page.keyboard.press('F4');
  const full = await waitFor(page, () => document.fullscreenElement === document.documentElement, null, 5);
  await page.keyboard.press('F4');
  check(full && await waitFor(page, () => document.fullscreenElement === null, null, 5), 'F4 turns the browser\'s fullscreen on and off');
  await steer('keys', async (action, ms) => {
    const key = { confirm: 'Enter', up: 'ArrowUp', fire: 'ControlRight' }[action];
    await page.keyboard.down(key);
    if (action === 'fire') {
      const gap = await ask(() => __zw.gap(5000));
      check(Math.abs(gap - 25) < 1, `a game, attack held, runs at 40 frames a second (${gap.toFixed(1)} ms between frames at the median)`);
    }
    await (action === 'fire' ? screenshot('game.png', true) : sleep(ms));
    await page.keyboard.up(key);
  });

  // A reload starts silent as it was left; M brings the music back. Flight Control's eight keys
  // and one to leave save them for the next visit.
  check((await open(() => page.reload())).titled, 'a reload shows the title again');
  const stillQuiet = await rms();
  await page.keyboard.press('m');
  await sleep(300);
  const music = await rms();
  check(stillQuiet < 0.0001 && music > 0.002 && await soundPressed() === 'true',
    `the page starts silent as it was left (RMS ${stillQuiet.toFixed(4)}); M brings the music back (RMS ${music.toFixed(4)}) and the button shows it`);
  const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
  check(installabilityErrors.length === 0, `the browser can install the page as an app (${JSON.stringify(installabilityErrors)})`);
  const manifest = await (await page.request.get(await ask(() => document.querySelector('link[rel=manifest]').href))).json();
  check(manifest.name === 'Zellworth' && manifest.icons.some((icon) => icon.sizes === '512x512'), 'its manifest names it Zellworth with the game\'s icon');
  await keys(['ArrowDown', 'Enter', 'ArrowUp', 'ArrowDown', 'ArrowLeft', 'd', 'Space', 'e', 'q', 'f', 'x'], 60);
  await waitFor(page, () => __zw.settings() !== null, null, 5);
  check(same(await ask(() => __zw.settings()), savedKeys), 'Flight Control saves the eight keys to Settings.bin');
  await sleep(300);
  const again = await open(() => page.reload());
  check(again.titled && !again.exact && same(await ask(() => __zw.settings()), savedKeys),
    'after a reload the saved keys are back (the title\'s hint names the new fullscreen key)');
  const stored = await ask(() => __zw.storedFiles());
  check(same(stored, ['/zellworth/Common/Settings.bin']), `the browser's storage holds the saved file and none of the media (${stored})`);

  // The next build: the next visit finds the worker updated, the visit after runs it, and only its
  // changed files are downloaded.
  const nextCache = /var CACHE = '([^']+)'/.exec(readFileSync(path.join(next, 'sw.js'), 'utf8'))[1];
  const nextScript = readdirSync(next).find((file) => /^page\..+\.js$/.test(file));
  const beforeUpdate = await sentBytes();
  symlinkSync(next, `${served}.next`);
  renameSync(`${served}.next`, served);
  await open(() => page.reload());
  const found = await waitFor(page, async (name) => {
    const worker = await navigator.serviceWorker.getRegistration();
    return await caches.has(name) && !worker.installing && !worker.waiting;
  }, nextCache, 30);
  // Seldom the visit right after the update still runs the old page: a returning visitor gets the
  // new one within two more.
  let updated, running;
  for (let visit = 0; visit < 3 && running !== nextScript; visit++) {
    updated = await open(() => page.reload());
    running = await ask(() => document.querySelector('script[src^="page."]').getAttribute('src'));
  }
  const cacheNames = await ask(() => caches.keys());
  const updateBytes = await sentBytes() - beforeUpdate;
  check(updated.titled && running === nextScript && cacheNames.includes(nextCache) && cacheNames.length <= 2,
    `a new build reaches a returning visitor (${found ? 'found' : 'not found'} at the first visit, ${running} at the next, caches ${cacheNames.join(' ')})`);
  check(updateBytes < 65536, `the new build, its page's script changed by a line, costs ${updateBytes} bytes`);
  // Offline: the worker's copy loads and plays; Quit ends the game, "Play again" starts it.
  await ask(() => navigator.serviceWorker.ready);
  await browser.setOffline(true);
  check((await open(() => page.reload())).titled, 'with the network off, a reload still loads the page and shows the title');
  await page.keyboard.press('e');
  check(await waitFor(page, async () => (await __zw.birdY(60)) === 200, null, 10), 'with the network off, the confirm key (now E) starts a game');
  await open(() => page.reload());
  await keys(['ArrowUp', 'e']);
  const ended = await waitFor(page, () => document.getElementById('message-text').textContent === 'The game has ended.', null, 5);
  check(ended && await page.getByRole('button', { name: 'Play again' }).isVisible(), 'Quit ends the game and the page offers "Play again"');
  check((await open(() => page.getByRole('button', { name: 'Play again' }).click())).titled, '"Play again" starts the game afresh');
  check((await ask(() => __zw.violations)).length === 0, 'the page\'s content security policy refused nothing');

  // --- A phone held sideways, 844 x 390, with the touch buttons, still offline ------------------
  await newPage(844, 390);
  await cdp.send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 5 });
  await page.goto(url + '?touch');
  check(await waitFor(page, () => document.getElementById('message-text').textContent.startsWith('Click or press a key')),
    'with the network off, the address with ?touch loads the page');
  for (const [width, height] of [[568, 320], [844, 390]]) {  // the picture and the buttons in view, none over the picture
    await page.setViewportSize({ width, height });
    await sleep(200);
    const boxes = await ask(() => Array.from(document.querySelectorAll('#canvas, #touch button, #toolbar button'))
      .filter((e) => e.offsetParent !== null).map((e) => [e.getAttribute('aria-label'), e.getBoundingClientRect().toJSON()]));
    const [canvas, ...buttons] = boxes.map(([, b]) => b);
    const inView = (b) => b.x >= 0 && b.y >= 0 && b.x + b.width <= width && b.y + b.height <= height;
    const apart = (b) => b.x >= canvas.x + canvas.width || b.x + b.width <= canvas.x || b.y >= canvas.y + canvas.height || b.y + b.height <= canvas.y;
    check(boxes.every(([, b]) => inView(b)) && buttons.every(apart),
      `at ${width} x ${height} the picture (${canvas.width} x ${canvas.height}) and the buttons ${boxes.slice(1).map(([n]) => n).sort().join(', ')} are in view, none over the picture`);
  }
  const centre = (name) => page.getByRole('button', { name, exact: true }).boundingBox().then((b) => ({ x: b.x + b.width / 2, y: b.y + b.height / 2 }));
  const tap = async (point, ms = 50) => {
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [await point] });
    await sleep(ms);
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  };
  const prompted = await ask(() => !document.getElementById('message').hidden);
  if (prompted) await tap({ x: 422, y: 195 });
  check(await showsTitle(), `a touch on the page starts the game (${prompted ? 'after the prompt' : 'no prompt needed'})`);
  // Confirm is clicked as a screen reader or a switch does, without a touch; Fire presses the
  // saved attack key (Space), Confirm theirs (E).
  await steer('touch buttons', (action, ms) => (action === 'confirm' ?
    ask(() => document.querySelector('.key.confirm').click()) : tap(centre(action === 'up' ? 'Up' : 'Fire'), ms)));
  await screenshot('phone.png');
  // Away from the page and back: the game waits in its pause, Resume goes on, Give up ends it.
  const leaveAndComeBack = () => ask(async () => {
    __zw.sameVisit = true;
    for (const hidden of [true, false]) {
      Object.defineProperty(document, 'visibilityState', { value: hidden ? 'hidden' : 'visible', configurable: true });
      document.dispatchEvent(new Event('visibilitychange'));
      window.dispatchEvent(new Event(hidden ? 'blur' : 'focus'));
      await new Promise((resolve) => setTimeout(resolve, 300));
    }
  });
  await leaveAndComeBack();
  check(await onScreen('paused'), 'a game left for another tab is paused when the player comes back; the buttons offer Resume and Give up');
  await screenshot('phone-paused.png');
  await tap(centre('Resume'));
  check(await onScreen('playing'), 'Resume goes on with the game');
  await leaveAndComeBack();
  await onScreen('paused');
  await tap(centre('Give up'));
  await sleep(1200);  // the game-over screen takes keys after a second
  await tap(centre('Fire'));
  check(await showsTitle() && await ask(() => __zw.sameVisit), 'Give up ends the game on the game-over screen, whose buttons lead to the title, without a reload');
  // Flight Control: each button presses its own binding, and Leave goes back with the keys kept.
  await tap(centre('Down'));
  await tap(centre('Confirm'));
  check(await onScreen('flight-control'), 'on Flight Control the buttons offer a way out');
  await screenshot('phone-flight-control.png');
  await ask(() => {
    const press = Module._pressBindingFromPage;
    __zw.pressed = [];
    Module._pressBindingFromPage = (binding, down) => { if (down) __zw.pressed.push(binding); press(binding, down); };
  });
  for (const label of ['Up', 'Down', 'Left', 'Right', 'Fire', 'Confirm']) await tap(centre(label));
  const pressed = await ask(() => __zw.pressed.join(' '));
  check(pressed === '0 1 2 3 4 5', `Up, Down, Left, Right, Fire, Confirm press the bindings ${pressed}`);
  const left = await open(() => tap(centre('Leave Flight Control')));
  check(left.titled && same(await ask(() => __zw.settings()), savedKeys), 'Leave goes back to the title with the keys as they were');
  await browser.setOffline(false);

  // --- A game controller through the browser's gamepad support, at 800 x 600 -------------------
  await newPage(800, 600);
  await page.addInitScript(() => {
    const pad = { id: 'Test pad (STANDARD GAMEPAD)', index: 0, connected: true, mapping: 'standard', timestamp: 1, axes: [0, 0, 0, 0],
      buttons: Array.from({ length: 17 }, () => ({ pressed: false, touched: false, value: 0 })) };
    navigator.getGamepads = () => [pad];
    window.__zw.button = (index, down) => {
      pad.buttons[index] = { pressed: down, touched: down, value: down ? 1 : 0 };
      pad.timestamp += 1;
    };
  });
  check((await open()).titled, 'a page with a controller shows the title');
  await steer('controller (A, D-pad)', async (action, ms) => {
    const index = { confirm: 0, up: 12, fire: 0 }[action];
    await ask((i) => __zw.button(i, true), index);
    await sleep(ms);
    await ask((i) => __zw.button(i, false), index);
  });
  // A save that fails leaves the stored keys as they were.
  await open(() => page.reload());
  await ask(() => {
    Module.FS.unlink('/game/Common/Settings.bin');
    Module.FS.mkdir('/game/Common/Settings.bin');
  });
  await keys(['ArrowDown', 'e', 'ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight', 'Space', 'e', 'q', 'f', 'x', 'ArrowUp', 'e'], 60);
  await waitFor(page, () => document.getElementById('play-again').hidden === false, null, 5);
  const storedAfter = await ask(() => __zw.storedFiles());
  check(same(storedAfter, ['/zellworth/Common/Scores.bin', '/zellworth/Common/Settings.bin']), `the failed save leaves the stored keys alone (${storedAfter})`);
  // A game recorded on the desktop, picked as a file, verifies in the browser to the same score.
  await ask((text) => sessionStorage.setItem('zellworth-picked-replay', text), base64('tests/game/recorded-game.zwr'));
  const chosen = page.waitForEvent('console', { predicate: (m) => /^Zellworth: (started|waiting)/.test(m.text()), timeout: 20000 });
  await page.goto(url + '?verify=file');
  if ((await chosen).text().includes('waiting')) await page.keyboard.press('Shift');
  await waitFor(page, () => /^(verified|does not|a replay)/.test(document.getElementById('message-text').textContent), null, 30);
  const verdict = await page.locator('#message-text').textContent();
  check(verdict === 'verified: score 98 in 5105 frames', `a desktop game verifies in the browser: "${verdict}"`);
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
}
console.log(`web: ${counts.passed} passed, ${counts.failed} failed`);
process.exit(counts.failed === 0 ? 0 : 1);
