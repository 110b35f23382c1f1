// The page in headless Chromium with the real board behind the package's nginx site over HTTPS;
// its environment is set by board_test.sh.
import { execFileSync, spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { check, counts, launchChromium, sleep, waitFor } from './browser.mjs';

const shots = process.env.BOARD_TEST_SHOTS;
if (shots) mkdirSync(shots, { recursive: true });
const work = mkdtempSync(path.join(tmpdir(), 'zellworth-board-page-'));
const freePort = () => new Promise((resolve) => {
  const probe = createServer().listen(0, '127.0.0.1', () => { const { port } = probe.address(); probe.close(() => resolve(port)); });
});
const [port, redirectPort, boardPort] = [await freePort(), await freePort(), await freePort()];
const url = `https://127.0.0.1:${port}/`;
const source = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
const frontDir = path.join(work, 'front');
execFileSync('bash', [path.join(source, 'scripts/front_config.sh'), frontDir, String(port), String(redirectPort), String(boardPort),
  process.env.BOARD_TEST_SITE, process.env.BOARD_TEST_CERT, process.env.BOARD_TEST_KEY], { stdio: 'inherit' });
const front = spawn('/usr/sbin/nginx', ['-c', path.join(frontDir, 'nginx.conf'), '-p', frontDir, '-e', path.join(frontDir, 'error.log')],
  { stdio: 'inherit' });
// A failed check may end the test at once: the servers go with it.
process.on('exit', () => { front.kill(); if (board) board.kill('SIGKILL'); });
let board = null;
async function startBoard() {
  board = spawn(process.env.BOARD_TEST_BINARY, ['--listen', `127.0.0.1:${boardPort}`, '--db', path.join(work, 'board.db'),
    '--submissions-per-minute', '1', '--trusted-proxy', '127.0.0.1'], { stdio: 'inherit' });
  for (let tries = 0; tries < 100; tries += 1, await sleep(50)) if (await fetch(url + 'api/health').then((r) => r.ok, () => false)) return;
  throw new Error('the board did not start behind the front');
}
const killBoard = () => new Promise((resolve) => { board.once('exit', resolve); board.kill('SIGKILL'); });

const statusOf = (page) => page.evaluate(() => document.getElementById('board-status').textContent);

// Loads the page by `navigate` and starts the game, answering the sound prompt with a key.
async function open(page, navigate) {
  const started = page.waitForEvent('console', { predicate: (m) => /^Zellworth: (started|waiting)/.test(m.text()), timeout: 30000 });
  await navigate();
  if ((await started).text().includes('waiting')) await page.keyboard.press('Shift');
  await waitFor(page, () => document.body.classList.contains('playing'));
}

// Opens the panel afresh: it reads the list and the kept games as it opens.
async function reopen(page) {
  if (await page.isVisible('#board')) await page.click('#board-toggle');
  await page.click('#board-toggle');
  await waitFor(page, () => !/^Loading/.test(document.getElementById('board-list-state').textContent));
}

await startBoard();
// Chromium trusts the front's certificate by its key alone.
const spki = execFileSync('bash', ['-c', 'openssl x509 -pubkey -noout -in "$1" | openssl pkey -pubin -outform der | openssl dgst -sha256 -binary | base64',
  'spki', process.env.BOARD_TEST_CERT]).toString().trim();
const browser = await launchChromium(path.join(work, 'profile'), { width: 1280, height: 720 }, [`--ignore-certificate-errors-spki-list=${spki}`]);
try {
  const page = browser.pages()[0] || await browser.newPage();
  const tickets = [];  // the statuses of the page's ticket requests, in order
  page.on('response', (r) => { if (new URL(r.url()).pathname === '/api/tickets') tickets.push(r.status()); });
  await open(page, () => page.goto(url));
  check(await page.evaluate(() => Promise.race([navigator.serviceWorker.ready.then(() => location.protocol),
    new Promise((resolve) => setTimeout(() => resolve('no worker'), 15000))])) === 'https:',
  'the page and its service worker run over HTTPS from the front');
  await reopen(page);
  check(await page.textContent('#board-list-state') === 'No scores yet.', 'the panel shows the empty board');
  check(/sends the board the name above, the game's inputs \(its replay\) and the date/.test(await page.textContent('#board .note')),
    'the panel says what a submission sends');
  await page.click('#board-toggle');

  // A real game: fire held, weaving up and down, until the last feather is lost.
  await page.focus('#canvas');
  await page.keyboard.press('Enter');
  await sleep(500);
  await page.keyboard.down('ControlRight');
  const isOffered = () => page.evaluate(() => document.getElementById('board').hidden &&
    document.getElementById('board-toggle').classList.contains('offer') &&
    /kept/.test(document.getElementById('board-status').textContent));
  let offered = false;
  for (let turn = 0; turn < 100 && !offered; turn += 1) {
    const key = turn % 2 ? 'ArrowUp' : 'ArrowDown';  // weaving, as a player would
    await page.keyboard.down(key);
    await sleep(1500);
    await page.keyboard.up(key);
    offered = await isOffered();
  }
  await page.keyboard.up('ControlRight');
  check(offered, 'after a game over the panel\'s button offers the kept game, the panel staying shut');
  await page.click('#board-toggle');
  const kept = await page.evaluate(() => document.querySelector('#board-games td.score').textContent);

  const name = '<i>x</i><b>y</b>';
  await page.fill('#board-name', name);
  await page.click('#board-games button.submit');
  await waitFor(page, () => /^(On|Not)/.test(document.getElementById('board-status').textContent));
  check(await statusOf(page) === `On the board: rank 1 with ${kept} points.`, `the rank is shown: "${await statusOf(page)}"`);
  await waitFor(page, () => document.querySelectorAll('#board-list tr').length === 1);
  const rows = await page.evaluate(() => Array.from(document.querySelectorAll('#board-list tr'))
    .map((row) => Array.from(row.cells).map((cell) => cell.textContent)));
  check(rows.length === 1 && rows[0][1] === name && rows[0][2] === kept, `the list shows the entry, its name as text: ${JSON.stringify(rows[0])}`);
  check(await page.evaluate(() => document.querySelectorAll('#board i, #board b, #board img').length) === 0,
    'no element was made from the name');
  check(await page.evaluate(() => localStorage.getItem('zellworth-board-name')) === name, 'the name is remembered');
  if (shots) await page.screenshot({ path: path.join(shots, 'leaderboard.png') });

  // On the ticket the page asked for at load; after it, the page asks for the next game's.
  const kept1 = await page.evaluate(() => ({ kind: document.querySelector('#board-games td.kind').textContent,
    format: window.zellworthBestGames()[0].replay[4] }));
  check(tickets[0] === 201 && kept1.kind === 'for the board' && kept1.format === 2,
    `the game was played on the board's ticket: tickets ${tickets.join(', ')}, "${kept1.kind}", format ${kept1.format}`);
  for (let wait = 0; wait < 100 && tickets.length < 2; wait += 1) await sleep(100);
  check(tickets[1] === 201, 'the page asked for the next game\'s ticket after the game over');

  // A second submission within the minute, refused with the board's reason (the minute may turn once).
  let refused = '';
  for (let submission = 2; submission <= 4 && !refused; submission += 1) {
    await page.evaluate(() => { document.getElementById('board-status').textContent = ''; });
    await page.click('#board-games button.submit');
    await waitFor(page, () => /^(On|Already|Not)/.test(document.getElementById('board-status').textContent));
    if (/^Not/.test(await statusOf(page))) refused = await statusOf(page);
  }
  check(/^Not accepted: too many submissions: at most 1 a minute from one address; try again in \d+ s$/.test(refused),
    `a refusal shows the board's reason: "${refused}"`);

  // Watching the entry: the page starts again with the entry's replay as --replay.
  const [id] = await page.evaluate(() => Array.from(document.querySelectorAll('#board-list tr')).map((row) => row.dataset.id));
  await open(page, () => page.click('#board-list button.watch'));
  check(page.url() === `${url}?entry=${id}`, `Watch opens ${page.url()}`);
  const served = Buffer.from(await (await fetch(`${url}api/replays/${id}`)).arrayBuffer());
  const watched = await page.evaluate(() => ({ args: Module.mainArguments(), bytes: Array.from(FS.readFile('/board-entry.zwr')) }));
  check(JSON.stringify(watched.args) === '["--replay","/board-entry.zwr"]' && Buffer.from(watched.bytes).equals(served),
    `Watch starts the game with the entry's replay (${served.length} bytes) as ${watched.args.join(' ')}`);

  // The board killed: the panel says so and the page plays on.
  await killBoard();
  await sleep(2100);  // the front keeps a list for up to 2 s
  await reopen(page);
  check(await page.textContent('#board-list-state') === 'The leaderboard cannot be reached.', 'without the board the panel says it cannot be reached');
  check(await page.evaluate(() => document.body.classList.contains('playing')), 'and the game plays on');

  // A game played while the board is down gets no ticket: kept as played offline, without Submit,
  // beside the game for the board. (The board's list after a restart is the pytest scenario's.)
  await open(page, () => page.goto(url));
  await page.focus('#canvas');
  await page.keyboard.press('Enter');
  await sleep(1000);
  await page.keyboard.press('Escape');
  await sleep(500);
  await page.keyboard.press('Backspace');
  check(await waitFor(page, () => window.zellworthBestGames().length === 2, undefined, 30), 'the game given up is kept');
  await startBoard();
  await reopen(page);
  const games = await page.evaluate(() => Array.from(document.querySelectorAll('#board-games tr'))
    .map((row) => row.querySelector('td.kind').textContent + (row.querySelector('button.submit') ? ' + Submit' : '')));
  check(JSON.stringify(games) === '["for the board + Submit","played offline"]', `the kept games: ${JSON.stringify(games)}`);
  if (shots) await page.screenshot({ path: path.join(shots, 'leaderboard-games.png') });
  await page.click('#board-toggle');
  await page.click('#best-games-button');
  const best = await page.evaluate(() => Array.from(document.querySelectorAll('#best-games tr')).slice(1)
    .map((row) => row.cells[3].textContent));
  check(JSON.stringify(best) === '["for the board","played offline"]', `Best games marks them too: ${JSON.stringify(best)}`);
  if (shots) await page.screenshot({ path: path.join(shots, 'best-games.png') });

  if (shots) {  // a phone held sideways, for the README
    const phone = await browser.newPage();
    await phone.setViewportSize({ width: 844, height: 390 });
    await open(phone, () => phone.goto(url + '?touch'));
    await reopen(phone);
    await phone.screenshot({ path: path.join(shots, 'leaderboard-phone.png') });
    await phone.close();
  }
} finally {
  await browser.close();
  await killBoard();
  front.kill();
  await new Promise((resolve) => front.once('exit', resolve));
  rmSync(work, { recursive: true, force: true });
}
console.log(`board page: ${counts.passed} passed, ${counts.failed} failed`);
process.exit(counts.failed === 0 ? 0 : 1);
