// Plays the real page in headless Chromium: the title's pixels against the desktop's, the music
// on the page's audio output and the Sound button, a game steered and fired with held keys,
// Flight Control's keys over a reload, a reload without network, Quit and "Play again", the bytes
// of a first visit and of a new build, the touch buttons on a phone held sideways (a pause and
// Flight Control left with them), and a game controller. Prints the figures it meets on the way.
//   WEB_TEST_URL       the served site (tests/web/serve.py, which counts the bytes it sends)
//   WEB_TEST_SERVED    the link to the folder served, WEB_TEST_NEXT_SITE the next build's folder
//   WEB_TEST_NODE_DIR  the folder whose node_modules holds playwright-core
//   WEB_TEST_SHOTS     a folder to write the page's screenshots to (optional)
import { readFileSync, mkdirSync, readdirSync, statSync, symlinkSync, renameSync } from 'node:fs';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { check, counts, launchChromium, sleep, waitFor } from './browser.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
const url = process.env.WEB_TEST_URL;
const shots = process.env.WEB_TEST_SHOTS;

const dataUrl = (file) => readFileSync(path.join(root, file)).toString('base64');

// In every page before its own scripts: a tap on the audio output, a count of the frames the
// game puts on its canvas, and the helpers that read the canvas.
function pageProbes() {
  window.__zw = { frames: [], analysers: [], violations: [] };
  document.addEventListener('securitypolicyviolation', (event) => window.__zw.violations.push(event.violatedDirective));
  const connect = AudioNode.prototype.connect;
  AudioNode.prototype.connect = function (target, ...rest) {
    if (target instanceof AudioDestinationNode) {
      const analyser = this.context.createAnalyser();
      analyser.fftSize = 2048;
      connect.call(this, analyser);
      window.__zw.analysers.push(analyser);
    }
    return connect.call(this, target, ...rest);
  };
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (...args) {
    if (this.canvas.id === 'canvas') window.__zw.frames.push(performance.now());
    if (window.__zw.firstFrame === undefined) window.__zw.firstFrame = performance.now();
    return put.apply(this, args);
  };
  const pixelsOf = (source, width, height) => {
    const scratch = new OffscreenCanvas(width, height);
    const context = scratch.getContext('2d', { willReadFrequently: true });
    context.drawImage(source, 0, 0);
    return context.getImageData(0, 0, width, height).data;
  };
  window.__zw.canvas = () => {
    const canvas = document.getElementById('canvas');
    return canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
  };
  window.__zw.references = {};
  window.__zw.loadReference = async (name, source) => {
    // As the file's bytes say, without the colour management a browser applies to pictures.
    // Decoded here: the page's policy allows no data: address.
    const bytes = Uint8Array.from(atob(source), (c) => c.charCodeAt(0));
    const image = await createImageBitmap(new Blob([bytes], { type: 'image/png' }),
      { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
    window.__zw.references[name] = pixelsOf(image, image.width, image.height);
  };
  // Pixels of the canvas that differ from a reference, within rows y0 to y1 (all by default).
  window.__zw.differing = (name, y0 = 0, y1 = 600) => {
    const reference = window.__zw.references[name];
    const canvas = window.__zw.canvas();
    if (!reference || reference.length !== canvas.length) return -1;
    let count = 0;
    for (let i = y0 * 3200; i < y1 * 3200; i += 4) {
      if (reference[i] !== canvas[i] || reference[i + 1] !== canvas[i + 1] || reference[i + 2] !== canvas[i + 2]) count += 1;
    }
    return count;
  };
  // The y at which one of the bird's four wing-beat cells is drawn 1:1 with its left at x.
  window.__zw.birdY = async (x) => {
    if (!window.__zw.bird) {
      const bytes = Module.FS.readFile('/game/Common/Bird.png');
      const image = await createImageBitmap(new Blob([bytes], { type: 'image/png' }),
        { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
      window.__zw.bird = { width: image.width, pixels: pixelsOf(image, image.width, image.height) };
    }
    const { width, pixels } = window.__zw.bird;
    const canvas = window.__zw.canvas();
    for (let y = 0; y <= 440; ++y) {
      for (let cell = 0; cell < 4; ++cell) {
        let same = true;
        let opaque = 0;
        for (let row = 0; row < 160 && same; ++row) {
          for (let column = 0; column < 160; ++column) {
            const s = (row * width + cell * 160 + column) * 4;
            if (pixels[s] === 255 && pixels[s + 1] === 0 && pixels[s + 2] === 255) continue;
            const d = ((y + row) * 800 + x + column) * 4;
            if (pixels[s] !== canvas[d] || pixels[s + 1] !== canvas[d + 1] || pixels[s + 2] !== canvas[d + 2]) {
              same = false;
              break;
            }
            opaque += 1;
          }
        }
        if (same && opaque > 0) return y;
      }
    }
    return -1;
  };
  // The loudest 50 ms on the page's audio output over the given time, as RMS.
  window.__zw.loudness = async (ms) => {
    let loudest = 0;
    const samples = new Float32Array(2048);
    for (let t = 0; t < ms; t += 50) {
      for (const analyser of window.__zw.analysers) {
        analyser.getFloatTimeDomainData(samples);
        let sum = 0;
        for (const sample of samples) sum += sample * sample;
        loudest = Math.max(loudest, Math.sqrt(sum / samples.length));
      }
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
    return loudest;
  };
  // Frames a second over the given time, and the middle one of the times between frames, which
  // a machine busy with other work moves less than the count.
  window.__zw.fps = async (ms) => {
    const first = window.__zw.frames.length;
    const start = performance.now();
    await new Promise((resolve) => setTimeout(resolve, ms));
    const times = window.__zw.frames.slice(first);
    const gaps = times.slice(1).map((time, index) => time - times[index]).sort((a, b) => a - b);
    return { fps: ((times.length - 1) * 1000) / (times[times.length - 1] - times[0]), gap: gaps[gaps.length >> 1] };
  };
  window.__zw.storedFiles = () => new Promise((resolve) => {
    const request = indexedDB.open('/zellworth/Common');
    request.onsuccess = () => {
      const keys = request.result.transaction('FILE_DATA').objectStore('FILE_DATA').getAllKeys();
      keys.onsuccess = () => resolve(keys.result.map(String).sort());
    };
    request.onerror = () => resolve(null);
  });
}

const messageOf = (page) => page.locator('#message-text').textContent();
const sentBytes = async () => Number(await (await fetch(url + 'bytes-sent')).text());
// The title above its hint line, which names the fullscreen key of the bindings.
const showsTitle = (page) => waitFor(page, () => window.__zw.differing('title', 0, 580) === 0);

// Navigation (or what else loads the page) up to the start prompt, answered with a key, or, where the browser lets
// the page play sound at once (a reload after the player pressed keys on it), up to the game's
// start; then the title's first frame.
async function open(page, navigate = () => page.goto(url)) {
  // Nothing is evaluated in the page before it has chosen: an evaluation counts as the player's
  // gesture, after which the browser lets the page play sound at once.
  const chosen = page.waitForEvent('console', { predicate: (m) => /^Zellworth: (started|waiting)/.test(m.text()), timeout: 20000 });
  await navigate();
  const prompted = (await chosen).text().includes('waiting');
  const promptAt = await page.evaluate(() => performance.now());
  await page.evaluate(async ([title, flightControl]) => {
    await window.__zw.loadReference('title', title);
    await window.__zw.loadReference('flightControl', flightControl);
  }, [dataUrl('docs/title.png'), dataUrl('docs/key-configuration.png')]);
  if (prompted) {
    const asks = await messageOf(page);
    if (asks !== 'Click or press a key to start') console.log(`     the prompt reads "${asks}"`);
    await page.keyboard.press('Shift');
  }
  const titled = await showsTitle(page);
  const titleAt = await page.evaluate(() => performance.now());
  const exact = titled && await page.evaluate(() => window.__zw.differing('title'));
  return { prompted, titled, exact: exact === 0, promptAt, titleAt };
}

// One game, whatever presses the keys (press(action, ms) holds "confirm", "up" or "fire"): the
// confirm input starts it with the bird at (60, 200), a held up moves the bird up, a held fire
// shoots, and the first shot clears the briefing box from its rows.
async function steer(page, how, press) {
  await press('confirm', 100);
  check(await waitFor(page, async () => (await window.__zw.birdY(60)) === 200, null, 10),
    `${how}: confirm starts a game with the bird drawn from Bird.png at (60, 200)`);
  const rows = () => page.evaluate(() => Array.from(window.__zw.canvas().slice(3200 * 250, 3200 * 260)));
  const briefing = await rows();
  await press('up', 200);
  const y = await page.evaluate(() => window.__zw.birdY(60));
  check(y >= 0 && y < 200, `${how}: a held up moves the bird up (to y ${y})`);
  await press('fire', 600);
  const changed = (await rows()).filter((value, index) => value !== briefing[index]).length;
  check(changed > 1000, `${how}: a held fire shoots, the briefing box is gone (${changed} bytes of its rows changed)`);
}

// The page in a desktop browser's 1280 x 720, for the README.
async function screenshot(page, name) {
  if (!shots) return;
  mkdirSync(shots, { recursive: true });
  await page.setViewportSize({ width: 1280, height: 720 });
  await sleep(300);
  await page.screenshot({ path: path.join(shots, name) });
  await page.setViewportSize({ width: 800, height: 600 });
}

const profile = mkdtempSync(path.join(tmpdir(), 'zellworth-web-test-'));
const browser = await launchChromium(profile, { width: 800, height: 600 });
try {
  // --- A desktop browser at 800 x 600 ------------------------------------------------------------
  const page = browser.pages()[0] || await browser.newPage();
  await page.addInitScript(pageProbes);
  const first = await open(page);
  check(first.prompted, 'the page asks for a click or a key before the sound starts');
  check(first.exact, 'the title screen equals the desktop\'s title, 0 differing pixels');
  const firstFrame = await page.evaluate(() => window.__zw.firstFrame);
  console.log(`     navigation to start prompt ${first.promptAt.toFixed(0)} ms; first title frame ${firstFrame.toFixed(0)} ms (${(firstFrame - first.promptAt).toFixed(0)} ms after the prompt)`);
  const layout = await page.evaluate(() => {
    const box = document.getElementById('canvas').getBoundingClientRect();
    const style = getComputedStyle(document.getElementById('canvas'));
    return [box.x, box.y, box.width, box.height, style.imageRendering].join(' ');
  });
  check(layout === '0 0 800 600 pixelated', `at 800 x 600 the picture fills the page 1:1, pixelated (${layout})`);
  const loudness = await page.evaluate(() => window.__zw.loudness(1500));
  check(loudness > 0.002, `the title music reaches the page's audio output (RMS ${loudness.toFixed(4)})`);
  const titleFps = await page.evaluate(() => window.__zw.fps(5000));
  const at40 = ({ fps, gap }) => `${fps.toFixed(1)} frames a second over 5 s, ${gap.toFixed(1)} ms between frames at the median`;
  check(Math.abs(titleFps.gap - 25) < 1, `the title runs at 40 frames a second (${at40(titleFps)})`);
  // Every file of a first visit once: the page's own downloads, then the worker's copies of them
  // (not the compressed copies, which this server never sends).
  const siteBytes = readdirSync(process.env.WEB_TEST_SERVED).filter((file) => !file.endsWith('.gz'))
    .reduce((sum, file) => sum + statSync(path.join(process.env.WEB_TEST_SERVED, file)).size, 0);
  await page.evaluate(() => navigator.serviceWorker.ready);
  const firstBytes = await sentBytes();
  check(firstBytes <= siteBytes, `a first visit downloads ${firstBytes} bytes of the site's ${siteBytes}`);
  await screenshot(page, 'title.png');
  const soundPressed = () => page.locator('#sound').getAttribute('aria-pressed');
  await page.getByRole('button', { name: 'Sound' }).click();
  await sleep(300);
  const quiet = await page.evaluate(() => window.__zw.loudness(1000));
  check(quiet < 0.0001 && await soundPressed() === 'false', `the Sound button silences the page's audio output (RMS ${quiet.toFixed(4)})`);
  await page.keyboard.press('F4');
  const full = await waitFor(page, () => document.fullscreenElement === document.documentElement, null, 5);
  await page.keyboard.press('F4');
  check(full && await waitFor(page, () => document.fullscreenElement === null, null, 5), 'F4 turns the browser\'s fullscreen on and off');

  let gameFps;
  await steer(page, 'keys', async (action, ms) => {
    const key = { confirm: 'Enter', up: 'ArrowUp', fire: 'ControlRight' }[action];
    await page.keyboard.down(key);
    if (action === 'fire') {
      gameFps = await page.evaluate(() => window.__zw.fps(5000));
      await screenshot(page, 'game.png');
    } else {
      await sleep(ms);
    }
    await page.keyboard.up(key);
  });
  check(Math.abs(gameFps.gap - 25) < 1, `a game runs at 40 frames a second, attack held (${at40(gameFps)})`);

  // Flight Control after three keys equals the desktop's; five more keys and one to leave save
  // the bindings, which a reload (a new visit) finds again, with the media kept out of storage.
  const back = await open(page, () => page.reload());
  check(back.titled, 'a reload shows the title again');
  const stillQuiet = await page.evaluate(() => window.__zw.loudness(1000));
  await page.keyboard.press('m');
  await sleep(300);
  const music = await page.evaluate(() => window.__zw.loudness(1000));
  check(stillQuiet < 0.0001 && music > 0.002 && await soundPressed() === 'true',
    `the page starts silent as it was left (RMS ${stillQuiet.toFixed(4)}); M brings the music back (RMS ${music.toFixed(4)}) and the button shows it`);
  const cdp = await browser.newCDPSession(page);
  const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
  check(installabilityErrors.length === 0, `the browser can install the page as an app (${JSON.stringify(installabilityErrors)})`);
  const manifest = await (await page.request.get(await page.evaluate(() => document.querySelector('link[rel=manifest]').href))).json();
  check(manifest.name === 'Zellworth' && manifest.icons.some((icon) => icon.sizes === '512x512'), 'its manifest names it Zellworth with the game\'s icon');
  for (const key of ['ArrowDown', 'Enter', 'ArrowUp', 'ArrowDown', 'ArrowLeft']) await page.keyboard.press(key);
  check(await waitFor(page, () => window.__zw.differing('flightControl') === 0, null, 5),
    'Flight Control with three keys taken equals the desktop\'s, 0 differing pixels');
  for (const key of ['d', 'Space', 'e', 'q', 'f', 'x']) {
    await page.keyboard.press(key);
    await sleep(60);
  }
  const expected = [0x40000052, 0x40000051, 0x40000050, 0x64, 0x20, 0x65, 0x71, 0x66];
  const settingsBytes = () => page.evaluate(() => {
    try { return Array.from(new Int32Array(Module.FS.readFile('/game/Common/Settings.bin').buffer)); } catch { return null; }
  });
  await waitFor(page, () => { try { Module.FS.stat('/game/Common/Settings.bin'); return true; } catch { return false; } }, null, 5);
  check(JSON.stringify(await settingsBytes()) === JSON.stringify(expected), 'Flight Control saves the eight keys to Settings.bin');
  await sleep(300);
  const again = await open(page, () => page.reload());
  check(again.titled && !again.exact && JSON.stringify(await settingsBytes()) === JSON.stringify(expected),
    'after a reload the saved keys are back (the title\'s hint names the new fullscreen key)');
  const stored = await page.evaluate(() => window.__zw.storedFiles());
  check(JSON.stringify(stored) === JSON.stringify(['/zellworth/Common/Settings.bin']),
    `the browser's storage holds the saved file and none of the media (${JSON.stringify(stored)})`);

  // The next build: the returning visitor's next visit finds the worker updated, the visit after
  // runs the new build, and of its files only the changed ones are downloaded.
  const next = process.env.WEB_TEST_NEXT_SITE;
  const nextCache = /var CACHE = '([^']+)'/.exec(readFileSync(path.join(next, 'sw.js'), 'utf8'))[1];
  const nextScript = readdirSync(next).find((file) => /^page\..+\.js$/.test(file));
  const beforeUpdate = await sentBytes();
  symlinkSync(next, `${process.env.WEB_TEST_SERVED}.next`);
  renameSync(`${process.env.WEB_TEST_SERVED}.next`, process.env.WEB_TEST_SERVED);
  await open(page, () => page.reload());
  await waitFor(page, async (name) => {
    const worker = await navigator.serviceWorker.getRegistration();
    return await caches.has(name) && !worker.installing && !worker.waiting;
  }, nextCache);
  const updated = await open(page, () => page.reload());
  const running = await page.evaluate(() => document.querySelector('script[src^="page."]').getAttribute('src'));
  const cacheNames = await page.evaluate(() => caches.keys());
  const updateBytes = await sentBytes() - beforeUpdate;
  check(updated.titled && running === nextScript && cacheNames.includes(nextCache) && cacheNames.length <= 2,
    `a new build reaches a returning visitor (${running}, caches ${cacheNames.join(' ')})`);
  check(updateBytes < 65536, `the new build, its page's script changed by a line, costs ${updateBytes} bytes`);
  // Offline: the service worker's copy loads and plays; Quit ends the game, "Play again" starts it.
  await page.evaluate(() => navigator.serviceWorker.ready);
  await browser.setOffline(true);
  const offline = await open(page, () => page.reload());
  check(offline.titled, 'with the network off, a reload still loads the page and shows the title');
  await page.keyboard.press('e');
  check(await waitFor(page, async () => (await window.__zw.birdY(60)) === 200, null, 10),
    'with the network off, the confirm key (now E) starts a game');
  await open(page, () => page.reload());
  for (const key of ['ArrowUp', 'e']) await page.keyboard.press(key);
  const ended = await waitFor(page, () => document.getElementById('message-text').textContent === 'The game has ended.', null, 5);
  check(ended && await page.getByRole('button', { name: 'Play again' }).isVisible(), 'Quit ends the game and the page offers "Play again"');
  const replay = await open(page, () => page.getByRole('button', { name: 'Play again' }).click());
  check(replay.titled, '"Play again" starts the game afresh');
  await browser.setOffline(false);

  check((await page.evaluate(() => window.__zw.violations)).length === 0, 'the page\'s content security policy refused nothing');

  // --- A phone held sideways, 844 x 390, with the touch buttons, offline --------------------------
  await browser.setOffline(true);
  const phone = await browser.newPage();
  await phone.addInitScript(pageProbes);
  await phone.setViewportSize({ width: 844, height: 390 });
  const touch = await browser.newCDPSession(phone);
  await touch.send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 5 });
  await touch.send('Emulation.setEmitTouchEventsForMouse', { enabled: false });
  await phone.goto(url + '?touch');
  check(await waitFor(phone, () => document.getElementById('message-text').textContent.startsWith('Click or press a key')),
    'with the network off, the address with ?touch loads the page');
  // The buttons shown, the corner's included, in view and off the picture.
  const buttonsAt = async (width, height) => {
    await phone.setViewportSize({ width, height });
    await sleep(200);
    const boxes = await phone.evaluate(() => {
      const box = (element) => element.getBoundingClientRect().toJSON();
      return {
        canvas: box(document.getElementById('canvas')),
        buttons: Object.fromEntries(Array.from(document.querySelectorAll('#touch button, #toolbar button'))
          .filter((b) => b.offsetParent !== null).map((b) => [b.getAttribute('aria-label'), box(b)])),
      };
    });
    const inView = (b) => b.x >= 0 && b.y >= 0 && b.x + b.width <= width && b.y + b.height <= height;
    const overlap = (a, b) => Math.max(0, Math.min(a.x + a.width, b.x + b.width) - Math.max(a.x, b.x)) *
      Math.max(0, Math.min(a.y + a.height, b.y + b.height) - Math.max(a.y, b.y));
    const covered = Object.values(boxes.buttons).reduce((sum, b) => sum + overlap(b, boxes.canvas), 0);
    check(inView(boxes.canvas) && Object.values(boxes.buttons).every(inView) && covered === 0,
      `at ${width} x ${height} the picture (${boxes.canvas.width} x ${boxes.canvas.height}) and the buttons ${Object.keys(boxes.buttons).sort().join(', ')} are in view, none over the picture`);
  };
  await buttonsAt(568, 320);
  await buttonsAt(844, 390);
  const centre = (name) => phone.getByRole('button', { name, exact: true }).boundingBox()
    .then((box) => ({ x: box.x + box.width / 2, y: box.y + box.height / 2 }));
  const tap = async (point, ms = 50) => {
    await touch.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [await point] });
    await sleep(ms);
    await touch.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  };
  const phonePrompted = await phone.evaluate(() => !document.getElementById('message').hidden);
  if (phonePrompted) await tap({ x: 422, y: 195 });
  await phone.evaluate(async (title) => window.__zw.loadReference('title', title), dataUrl('docs/title.png'));
  check(await showsTitle(phone), `a touch on the page starts the game (${phonePrompted ? 'after the prompt' : 'no prompt needed'})`);
  // Confirm is clicked as a screen reader or a switch does, without a touch; Fire presses the
  // attack key of the saved bindings (Space), Confirm theirs (E).
  await steer(phone, 'touch buttons', (action, ms) => (action === 'confirm' ?
    phone.evaluate(() => document.querySelector('.key.confirm').click()) : tap(centre(action === 'up' ? 'Up' : 'Fire'), ms)));
  if (shots) await phone.screenshot({ path: path.join(shots, 'phone.png') });

  // Away from the page and back: the game waits in its pause, Resume goes on, Give up ends it.
  const leaveAndComeBack = () => phone.evaluate(async () => {
    window.__zw.sameVisit = true;
    for (const hidden of [true, false]) {
      Object.defineProperty(document, 'visibilityState', { value: hidden ? 'hidden' : 'visible', configurable: true });
      document.dispatchEvent(new Event('visibilitychange'));
      window.dispatchEvent(new Event(hidden ? 'blur' : 'focus'));
      await new Promise((resolve) => setTimeout(resolve, 300));
    }
  });
  const onScreen = (screen) => waitFor(phone, (name) => document.body.dataset.screen === name, screen, 5);
  await leaveAndComeBack();
  check(await onScreen('paused'), 'a game left for another tab is paused when the player comes back; the buttons offer Resume and Give up');
  if (shots) await phone.screenshot({ path: path.join(shots, 'phone-paused.png') });
  await tap(centre('Resume'));
  check(await onScreen('playing'), 'Resume goes on with the game');
  await leaveAndComeBack();
  await onScreen('paused');
  await tap(centre('Give up'));
  await sleep(1200);  // the game-over screen takes keys after a second
  await tap(centre('Fire'));
  check(await showsTitle(phone) && await phone.evaluate(() => window.__zw.sameVisit),
    'Give up ends the game on the game-over screen, whose buttons lead to the title, without a reload');

  // Flight Control: each button presses its own binding, and Leave goes back with the keys kept.
  await tap(centre('Down'));
  await tap(centre('Confirm'));
  check(await onScreen('flight-control'), 'on Flight Control the buttons offer a way out');
  if (shots) await phone.screenshot({ path: path.join(shots, 'phone-flight-control.png') });
  await phone.evaluate(() => {
    const press = Module._pressBindingFromPage;
    window.__zw.pressed = [];
    Module._pressBindingFromPage = (binding, down) => { if (down) window.__zw.pressed.push(binding); press(binding, down); };
  });
  const labels = ['Up', 'Down', 'Left', 'Right', 'Fire', 'Confirm'];
  for (const label of labels) await tap(centre(label));
  const pressed = await phone.evaluate(() => window.__zw.pressed.join(' '));
  check(pressed === '0 1 2 3 4 5', `${labels.join(', ')} press the bindings ${pressed}`);
  const left = await open(phone, () => tap(centre('Leave Flight Control')));
  const keptKeys = await phone.evaluate(() => Array.from(new Int32Array(Module.FS.readFile('/game/Common/Settings.bin').buffer)));
  check(left.titled && JSON.stringify(keptKeys) === JSON.stringify(expected), 'Leave goes back to the title with the keys as they were');
  await phone.close();
  await browser.setOffline(false);

  // --- A game controller through the browser's gamepad support, on the desktop's layout --------
  const gamepad = await browser.newPage();
  await gamepad.addInitScript(pageProbes);
  await gamepad.addInitScript(() => {
    const pad = { id: 'Test pad (STANDARD GAMEPAD)', index: 0, connected: true, mapping: 'standard', timestamp: 1,
      axes: [0, 0, 0, 0], buttons: Array.from({ length: 17 }, () => ({ pressed: false, touched: false, value: 0 })) };
    navigator.getGamepads = () => [pad];
    window.__zw.button = (index, down) => {
      pad.buttons[index] = { pressed: down, touched: down, value: down ? 1 : 0 };
      pad.timestamp += 1;
    };
  });
  await gamepad.setViewportSize({ width: 800, height: 600 });
  check((await open(gamepad)).titled, 'a page with a controller shows the title');
  await steer(gamepad, 'controller (A, D-pad)', async (action, ms) => {
    const index = { confirm: 0, up: 12, fire: 0 }[action];
    await gamepad.evaluate((i) => window.__zw.button(i, true), index);
    await sleep(ms);
    await gamepad.evaluate((i) => window.__zw.button(i, false), index);
  });

  // A save that fails says so as on the desktop, and leaves the stored keys as they were.
  const printed = [];
  gamepad.on('console', (message) => printed.push(message.text()));
  await open(gamepad, () => gamepad.reload());
  await gamepad.evaluate(() => {
    Module.FS.unlink('/game/Common/Settings.bin');
    Module.FS.mkdir('/game/Common/Settings.bin');
  });
  for (const key of ['ArrowDown', 'e', 'ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight', 'Space', 'e', 'q', 'f', 'x', 'ArrowUp', 'e']) {
    await gamepad.keyboard.press(key);
    await sleep(60);
  }
  await waitFor(gamepad, () => document.getElementById('play-again').hidden === false, null, 5);
  check(printed.includes('Error opening file Settings.bin'), 'a save onto a folder named Settings.bin prints "Error opening file Settings.bin"');
  const storedAfter = await gamepad.evaluate(() => window.__zw.storedFiles());
  check(JSON.stringify(storedAfter) === JSON.stringify(['/zellworth/Common/Scores.bin', '/zellworth/Common/Settings.bin']),
    `the failed save leaves the stored keys alone (${JSON.stringify(storedAfter)})`);

  // A game recorded on the desktop, picked as a file, verifies in the browser to the same score.
  await gamepad.evaluate((text) => sessionStorage.setItem('zellworth-picked-replay', text),
    readFileSync(path.join(root, 'tests/game/recorded-game.zwr')).toString('base64'));
  const chosen = gamepad.waitForEvent('console', { predicate: (m) => /^Zellworth: (started|waiting)/.test(m.text()), timeout: 20000 });
  await gamepad.goto(url + '?verify=file');
  if ((await chosen).text().includes('waiting')) await gamepad.keyboard.press('Shift');
  await waitFor(gamepad, () => /^(verified|does not|a replay)/.test(document.getElementById('message-text').textContent), null, 30);
  const verdict = await messageOf(gamepad);
  check(verdict === 'verified: score 98 in 5105 frames', `a desktop game verifies in the browser: "${verdict}"`);
  await gamepad.close();
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
}
console.log(`web: ${counts.passed} passed, ${counts.failed} failed`);
process.exit(counts.failed === 0 ? 0 : 1);
