#!/usr/bin/python3
"""End-to-end tests of the real game under an Xvfb of its own: /usr/bin/python3 e2e.py SCENARIO.

Keys go in through XTest, screenshots come back as numpy arrays and are compared with the media
files; sound is captured with SDL's disk driver (16-bit stereo at 44100 Hz). Environment (CTest
sets it): ZW_GAME, ZW_MEDIA, ZW_WORK, ZW_BUILD; ZW_SCREEN, ZW_WM, ZW_RENDERER, ZW_GAME_ARGS,
ZW_GAMES pick a variant. A failed scenario keeps its scratch tree under ZW_WORK."""
import datetime, io, os, re, select, shlex, shutil, signal, socket, subprocess, sys, tempfile, time, wave
import urllib.request
import numpy as np
from PIL import Image
from Xlib import X, XK, display as xdisplay, error as xerror, protocol
from Xlib.ext import xtest

ENV = os.environ
NAME = sys.argv[1] if len(sys.argv) > 1 else ''
START = time.monotonic()
TITLE_ROWS, FRAME_X, FRAME_W, FRAME_H = (390, 444, 498), 373, 418, 50
BRIEFING = ('A large formation of butterflies approaches your sector. Keep your air space clear by pressing "',
            '".\n\nYou can configure the keys in "Flight Control" from the main menu.')
GAME_OVER = 'Happy Birthday, you filthy animal!'
LABELS = ['\n   -- Settings --\n\nPress the key to perform the following action\n\n   move up           : '] + [
    '\n   %-18s: ' % label for label in ('move down', 'move left', 'move right', 'attack', 'interact, confirm',
                                        'close, cancel', 'toggle fullscreen')]
DEFAULT_KEYS = ['Up', 'Down', 'Left', 'Right', 'Right Ctrl', 'Return', 'Backspace', 'F4']
PUNCTUATION = ".:,;|/\\'\"?!+-*=()_<>[]#$^"


class Fail(Exception):
    pass


def log(*words):
    print('[%s %6.1fs] %s' % (NAME, time.monotonic() - START, ' '.join(map(str, words))), flush=True)


def check(condition, *why):
    if not condition:
        raise Fail(' '.join(map(str, why)))


def le32(*codes):
    return b''.join((code & 0xFFFFFFFF).to_bytes(4, 'little') for code in codes)


# --- Pictures ------------------------------------------------------------------------------------

def load(path):
    return np.asarray(Image.open(path).convert('RGBA'))


class Sheets(dict):
    """The media sheets as RGBA arrays, loaded once."""
    def __missing__(self, name):
        self[name] = load(os.path.join(ENV['ZW_MEDIA'], name))
        return self[name]


SHEETS = Sheets()


def compare(shot, x, y, sheet, sx, sy, w, h):
    """(compared, differing) pixels of the sheet's cell drawn 1:1 at (x, y): magenta and see-through
    pixels are skipped; cell pixels outside the shot differ, so a misplaced check cannot pass."""
    cell = SHEETS[sheet][sy:sy + h, sx:sx + w]
    drawn = (cell[..., 3] == 255) & ~((cell[..., 0] == 255) & (cell[..., 1] == 0) & (cell[..., 2] == 255))
    inside = np.zeros_like(drawn)
    x0, y0, x1, y1 = max(x, 0), max(y, 0), min(x + w, shot.shape[1]), min(y + h, shot.shape[0])
    if x1 <= x0 or y1 <= y0:
        return int(drawn.sum()), int(drawn.sum())
    inside[y0 - y:y1 - y, x0 - x:x1 - x] = True
    same = np.zeros_like(drawn)
    same[y0 - y:y1 - y, x0 - x:x1 - x] = (shot[y0:y1, x0:x1, :3] == cell[y0 - y:y1 - y, x0 - x:x1 - x, :3]).all(-1)
    return int(drawn.sum()), int((drawn & ~(inside & same)).sum())


def sprite(shot, x, y, sheet, sx, sy, w, h):
    compared, differing = compare(shot, x, y, sheet, sx, sy, w, h)
    return compared > 0 and differing == 0


def glyph(c):
    if c.isdigit():
        return ord(c) - ord('0')
    if 'A' <= c <= 'Z':
        return 10 + ord(c) - ord('A')
    if 'a' <= c <= 'z':
        return 36 + ord(c) - ord('a')
    return 62 + PUNCTUATION.index(c) if c in PUNCTUATION else -1


def layout(cursor, style, left, right, text):
    """The game's word-wrapping layout from the cursor: yields (x, y, sx, sy) per drawn glyph."""
    for word, gap in re.findall(r'([^ \n]*)([ \n]*)', text):
        if cursor[0] + len(word) * 10 > right:
            cursor[:] = [left, cursor[1] + 15]
        for c in word:
            if glyph(c) >= 0:
                yield cursor[0], cursor[1], glyph(c) % 16 * 10, (glyph(c) // 16 + 6 * style) * 15
            cursor[0] += 10
        for c in gap:
            cursor[:] = [left, cursor[1] + 15] if c == '\n' else [cursor[0] + 10, cursor[1]]


def text(shot, x, y, style, left, right, *texts):
    """The texts drawn one after the other from the font, from the cursor (x, y)."""
    cursor, compared, differing = [x, y], 0, 0
    for part in texts:
        for gx, gy, sx, sy in layout(cursor, style, left, right, part):
            c, d = compare(shot, gx, gy, 'Font.png', sx, sy, 10, 15)
            compared, differing = compared + c, differing + d
    return compared > 0 and differing == 0


def number(shot, x, y, prefix, style=2, left=0, right=800):
    """The number drawn after the prefix, digit by digit, or None."""
    cursor = [x, y]
    list(layout(cursor, style, left, right, prefix))
    digits = ''
    while True:
        found = [d for d in '0123456789'
                 if sprite(shot, cursor[0] + 10 * len(digits), cursor[1], 'Font.png', d and glyph(d) * 10, 6 * style * 15, 10, 15)]
        if not found:
            break
        digits += found[0]
    return int(digits) if digits and text(shot, x, y, style, left, right, prefix + digits) else None


def outline(row):
    mask = np.zeros((600, 800), bool)
    mask[row, FRAME_X:FRAME_X + FRAME_W] = mask[row + FRAME_H - 1, FRAME_X:FRAME_X + FRAME_W] = True
    mask[row:row + FRAME_H, FRAME_X] = mask[row:row + FRAME_H, FRAME_X + FRAME_W - 1] = True
    return mask


def frame_at(want):
    """The title screen with the white frame at row WANT alone, the other rows the picture's."""
    def shows(shot):
        return all((shot[outline(row)] == 255).all() if row == want else
                   (shot[outline(row)] == SHEETS['Title.png'][outline(row)][:, :3]).all() for row in TITLE_ROWS)
    return shows


def locate(shot, sheet, sx, sy, w, h, xs, ys):
    """The first (x, y) in the ranges where the cell matches, tried where its first drawn pixel is."""
    cell = SHEETS[sheet][sy:sy + h, sx:sx + w]
    dy, dx = np.argwhere((cell[..., 3] == 255) & ~((cell[..., 0] == 255) & (cell[..., 1] == 0) & (cell[..., 2] == 255)))[0]
    area = shot[ys.start + dy:ys.stop + dy, xs.start + dx:xs.stop + dx]
    for y, x in np.argwhere((area == cell[dy, dx, :3]).all(-1)):
        if sprite(shot, xs.start + x, ys.start + y, sheet, sx, sy, w, h):
            return xs.start + x, ys.start + y
    return None


def bird_x(shot, y, xs):
    found = [locate(shot, 'Bird.png', cell, 0, 160, 160, xs, range(y, y + 1)) for cell in (0, 160, 320, 480)]
    return min([f[0] for f in found if f], default=None)


def briefing(key):
    return lambda shot: text(shot, 325, 205, 3, 325, 635, BRIEFING[0], key, BRIEFING[1])


def score_is(shot, score):
    return text(shot, 0, -15, 2, 0, 800, '\nScore: %d' % score)


def paused(shot):
    return text(shot, 160, 305, 2, 0, 800, 'Resume: P, Escape or Pause    Give up: Backspace')


def game_over(shot):
    return text(shot, 350, 450, 2, 0, 800, GAME_OVER)


def hint(key):
    return lambda shot: text(shot, 290, 583, 2, 2, 800, 'Toggle fullscreen : ', key)


def settings(names, step=None):
    """Flight Control listing the eight key names, its marker at capture step STEP (9: move up ...
    2: toggle fullscreen) or, without one, the last line of a finished capture."""
    def shows(shot):
        listed = text(shot, 2, 0, 0, 2, 800, *[part for pair in zip(LABELS, names) for part in pair])
        if step is None:
            return listed and text(shot, 2, 180, 0, 2, 800, '\n\nPress any key to return to title screen.')
        return listed and text(shot, 12, (14 - step) * 15, 0, 12, 800, '>')
    return shows


def feathers(shot):
    return [x for x in (10, 42, 74) if sprite(shot, x, 16, 'Feather.png', 0, 0, 32, 32)]


def bounding_box(screen):
    ys, xs = np.nonzero(screen[..., :3].any(-1))
    return (xs.min(), ys.min(), xs.max() - xs.min() + 1, ys.max() - ys.min() + 1) if len(xs) else None


def unscale(screen, x, y, w, h):
    """The area sampled back at 800 x 600, each pixel at the centre of the screen pixels showing it."""
    rows = y + ((np.arange(600) + 0.5) * h / 600).astype(int)
    columns = x + ((np.arange(800) + 0.5) * w / 800).astype(int)
    return screen[rows][:, columns]


# --- Sound ---------------------------------------------------------------------------------------

RATE = 44100


def capture(path, start=0.0, length=None):
    """A window of the capture as float stereo samples in [-1, 1)."""
    first = int(start * RATE)
    count = -1 if length is None else int(length * RATE)
    samples = np.fromfile(path, '<i2', count=-1 if count < 0 else 2 * count, offset=4 * first).reshape(-1, 2)
    check(count < 0 or len(samples) == count, 'the capture ends before %.2f s' % (start + length))
    return samples / 32768.0


def effect(name):
    with wave.open(os.path.join(ENV['ZW_MEDIA'], name)) as w:
        check(w.getnchannels() == 1 and w.getframerate() == RATE and w.getsampwidth() == 2, name, 'is not 16-bit mono')
        return np.frombuffer(w.readframes(w.getnframes()), '<i2') / 32768.0


def band_profile(mono):
    """Energy per semitone from about 65 to 4186 Hz, over Hann windows of 4096 frames."""
    frames = np.lib.stride_tricks.sliding_window_view(mono, 4096)[::2048] * np.hanning(4096)
    power = (np.abs(np.fft.rfft(frames, axis=1)) ** 2).sum(0)[1:2048]
    notes = np.rint(69 + 12 * np.log2(np.arange(1, 2048) * RATE / 4096 / 440)).astype(int)
    keep = (notes >= 36) & (notes <= 108)
    return np.sqrt(np.bincount(notes[keep] - 36, power[keep], 73))


def similarity(path, a, b, length):
    pa, pb = (band_profile(capture(path, start, length).mean(1)) for start in (a, b))
    return float(pa @ pb / np.sqrt((pa @ pa) * (pb @ pb)))


def volume(path, start, length, name):
    """The mixer volume (of 128) of the effect's quietest playing in the window, by its first 100 ms."""
    window, fx = capture(path, start, length).mean(1), effect(name)[:RATE // 10]
    size = 1 << (len(window) + len(fx)).bit_length()
    correlation = np.fft.irfft(np.fft.rfft(window, size) * np.conj(np.fft.rfft(fx, size)), size)
    offsets = len(window) - len(fx) + 1
    energy = np.convolve(window ** 2, np.ones(len(fx)), 'valid')[:offsets]
    cosine = np.where(energy > 1e-12, correlation[:offsets] / np.sqrt(np.maximum(energy, 1e-30) * (fx @ fx)), 0)
    gains, edges = [], np.flatnonzero(np.diff(np.r_[0, cosine >= 0.8, 0]))
    for a, b in zip(edges[::2], edges[1::2]):
        gains.append(correlation[a + np.argmax(cosine[a:b])] / (fx @ fx))
    check(gains, 'the effect', name, 'is not in the window')
    return min(gains) * 128


def onsets(path, start, length):
    """10 ms blocks at least 6 dB louder than the block before: effects rising above the music."""
    mono = capture(path, start, length).mean(1)
    energy = (mono[:len(mono) // 441 * 441].reshape(-1, 441) ** 2).mean(1)
    return int(((energy[1:] > 4 * energy[:-1]) & (energy[1:] > 1e-7)).sum())


# --- The game under X ----------------------------------------------------------------------------

class Session:
    """One scratch tree (Common: a copy of the media; run: the working directory) and one X server."""

    def __init__(self, screen=None, wm=None):
        os.makedirs(ENV['ZW_WORK'], exist_ok=True)
        self.dir = tempfile.mkdtemp(prefix=NAME + '.', dir=ENV['ZW_WORK'])
        self.common = os.path.join(self.dir, 'Common')
        shutil.copytree(ENV['ZW_MEDIA'], self.common, ignore=shutil.ignore_patterns('Settings.bin*', 'Scores.bin*'))
        os.makedirs(os.path.join(self.dir, 'run'))
        self.screen = screen or ENV.get('ZW_SCREEN') or '1024x768'
        self.processes, self.game, self.picture, self.last = [], None, None, None
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0', self.screen + 'x24', '-r',
                                      '-nolisten', 'tcp', '-noreset'], pass_fds=(write,),
                                     stdout=subprocess.DEVNULL, stderr=open(self.path('xvfb.log'), 'w'))
        os.close(write)
        number = b''
        while not number.endswith(b'\n'):  # written once it takes connections
            check(select.select([read], [], [], 30)[0], 'Xvfb did not start')
            number += os.read(read, 16)
        ENV['DISPLAY'] = ':' + number.decode().strip()
        os.close(read)
        self.x = xdisplay.Display()
        log('X server on', ENV['DISPLAY'], self.screen)
        wm = ENV.get('ZW_WM') if wm is None else wm
        if wm:
            self.processes.append(subprocess.Popen([wm], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            self.wait(10, wm + ' to start', lambda: 'window id' in subprocess.run(
                ['xprop', '-root', '_NET_SUPPORTING_WM_CHECK'], capture_output=True, text=True).stdout)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def close(self, passed):
        for process in [self.game] + self.processes + [self.xvfb]:
            if process is not None and process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
        if passed:
            shutil.rmtree(self.dir, ignore_errors=True)
        else:
            if self.last is not None:
                Image.fromarray(self.last).save(self.path('last-shot.png'))
            print('[%s] scratch tree kept in %s' % (NAME, self.dir))
            if os.path.exists(self.path('stdout')):
                print('game\'s standard output:', open(self.path('stdout'), 'rb').read())

    def wait(self, seconds, what, condition):
        deadline = time.monotonic() + seconds
        while not condition():
            check(time.monotonic() < deadline, 'timed out after %ss waiting for %s' % (seconds, what))
            time.sleep(0.1)

    # The game
    def start(self, *args, program=None, cwd=None, audio=None, env=(), prefix=()):
        environment = dict(ENV, SDL_AUDIODRIVER='dummy', **dict(env))
        if audio:
            environment.update(SDL_AUDIODRIVER='disk', SDL_DISKAUDIOFILE=audio)
        if ENV.get('ZW_RENDERER'):
            environment['SDL_RENDER_DRIVER'] = ENV['ZW_RENDERER']
        command = list(prefix) + [program or ENV['ZW_GAME']] + shlex.split(ENV.get('ZW_GAME_ARGS', '')) + list(args)
        self.game = subprocess.Popen(command, cwd=cwd or self.path('run'), env=environment,
                                     stdout=open(self.path('stdout'), 'wb'), stderr=open(self.path('stderr'), 'wb'))
        log('game started:', ' '.join(command[len(prefix):]))
        return self

    def window(self):
        """Waits for the game's one visible window, remembers it and gives it the keyboard focus."""
        def found():
            check(self.game.poll() is None, 'the game ended before its window showed')
            self.wid = subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', '^Zellworth$'],
                                      capture_output=True, text=True, timeout=5).stdout.split()
            return self.wid
        self.wait(30, 'a visible window named Zellworth', found)
        self.wid = int(self.wid[0])
        check(subprocess.run(['xdotool', 'windowfocus', '--sync', str(self.wid)], timeout=10).returncode == 0, 'no focus')
        return self

    def key(self, *names, hold=None):
        for name in names:
            code = self.x.keysym_to_keycode(XK.string_to_keysym(name))
            check(code, 'no key code for', name)
            for kind in ((X.KeyPress, X.KeyRelease) if hold is None else (X.KeyPress if hold else X.KeyRelease,)):
                xtest.fake_input(self.x, kind, code)
                self.x.sync()
                time.sleep(0.012)
            time.sleep(0.08 if hold is None else 0)

    def press(self, name, seconds):
        self.key(name, hold=True)
        time.sleep(seconds)
        self.key(name, hold=False)

    def size(self):
        geometry = self.x.create_resource_object('window', self.wid).get_geometry()
        return geometry.width, geometry.height

    def request_close(self):
        window = self.x.create_resource_object('window', self.wid)
        delete, protocols = self.x.intern_atom('WM_DELETE_WINDOW'), self.x.intern_atom('WM_PROTOCOLS')
        check(delete in (window.get_wm_protocols() or ()), 'the window takes no close request')
        window.send_event(protocol.event.ClientMessage(window=window, client_type=protocols,
                                                       data=(32, [delete, X.CurrentTime, 0, 0, 0])))
        self.x.sync()

    def ended(self, seconds=5, status=0, quiet=True):
        """Waits for the game's end and checks its status and that it printed nothing."""
        try:
            got = self.game.wait(seconds)
        except subprocess.TimeoutExpired:
            raise Fail('the game did not end within %ss' % seconds)
        log('game ended with status', got)
        check(got == status, 'exit status', got, 'expected', status)
        check(not quiet or self.stdout() == b'', 'unexpected output:', self.stdout())

    def close_window(self, seconds=5):
        self.request_close()
        self.ended(seconds)

    def stdout(self):
        return open(self.path('stdout'), 'rb').read()

    # Pictures
    def shot(self, window=None):  # window: an id, or the root window's
        """The game's window as an H x W x 3 array; with self.picture ("X Y W H" of the window, or
        of the whole screen with window 'root') sampled back to 800 x 600, the shot as taken in
        self.screenshot."""
        root = self.x.screen().root
        window = root if window == 'root' else self.x.create_resource_object('window', self.wid)
        size = window.get_geometry()
        at = root.translate_coords(window, 0, 0)
        x, y = max(-at.x, 0), max(-at.y, 0)  # read through the root window: a window may reach past the screen
        w, h = min(size.width, root.get_geometry().width - at.x) - x, min(size.height, root.get_geometry().height - at.y) - y
        raw = root.get_image(at.x + x, at.y + y, w, h, X.ZPixmap, 0xFFFFFFFF).data
        self.screenshot = np.zeros((size.height, size.width, 3), np.uint8)
        self.screenshot[y:y + h, x:x + w] = np.frombuffer(raw, np.uint8).reshape(h, w, 4)[..., 2::-1]
        self.last = unscale(self.screenshot, *self.picture) if self.picture else self.screenshot
        return self.last

    def wait_for(self, seconds, what, condition, window=None):
        """Shoots until the condition holds for the shot; returns that shot."""
        deadline = time.monotonic() + seconds
        while True:
            check(self.game is None or self.game.poll() is None, 'the game ended while waiting for', what)
            try:
                shot = self.shot(window)
                if condition(shot):
                    return shot
            except xerror.BadMatch:  # a window moving off the screen's edge cannot be read
                pass
            check(time.monotonic() < deadline, 'timed out after %ss waiting for %s' % (seconds, what))
            time.sleep(0.2)

    def title(self, row=390):
        return self.wait_for(10, 'the title frame at y %d' % row, frame_at(row))

    def fight(self, seconds=150):
        """Flies the bird up and down through the butterflies (the caller holds the attack key or
        not) until the game-over screen shows; returns it. That screen drops keys during its first
        second, so each key-down follows a shot begun less than 0.8 s before without it."""
        deadline, key = time.monotonic() + seconds, 'Up'
        while True:
            check(self.game.poll() is None, 'the game ended during the fight')
            started = time.monotonic()
            shot = self.shot()
            if game_over(shot):
                return shot
            check(time.monotonic() < deadline, 'the bird still flies after %ss' % seconds)
            if time.monotonic() - started < 0.8:
                self.press(key, 0.6)
                key = 'Down' if key == 'Up' else 'Up'


# --- Scenarios -----------------------------------------------------------------------------------

def options(s):
    """--help, --version, --scores answer and leave; misused options exit 2 with a message on
    standard error before any window opens."""
    def run(*args):
        return subprocess.run([ENV['ZW_GAME'], *args], cwd=s.path('run'), capture_output=True, timeout=10,
                              env=dict(ENV, SDL_AUDIODRIVER='dummy'))
    out = run('--help')
    check(out.returncode == 0 and re.search(rb'^Usage: zellworth \[--fullscreen\] \[--scale N\] \[--mute\] '
                                            rb'\[--replay RANK\|FILE\]$', out.stdout, re.M), '--help:', out)
    check(b'--scale N' in out.stdout and b'--scores' in out.stdout, '--help explains too little')
    out = run('--scores')
    check(out.returncode == 0 and out.stdout == b'No best scores yet.\n', '--scores:', out)
    check(not os.path.exists(os.path.join(s.common, 'Scores.bin')), '--scores made a scores file')
    out = run('--version')
    check(out.returncode == 0 and re.fullmatch(rb'zellworth [0-9.]*\n', out.stdout), '--version:', out)
    for misuse in ('--bogus', '--scale', '--scale 0', '--scale two', '--scale=9999', '--scale=', '--scale 2',
                   '--scale=2', '--name Ada', '--submit 1', '--board ftp://127.0.0.1'):
        out = run(*misuse.split())
        check(out.returncode == 2 and out.stderr and not out.stdout, misuse, out)
        if misuse in ('--scale 2', '--scale=2'):
            check(b"a window of 1600x1200 (--scale 2) does not fit the desktop's 1024x768" in out.stderr, misuse, out)
    out = subprocess.run([ENV['ZW_GAME'], '--board', 'http://127.0.0.1', '--name', b'\xff'], capture_output=True)
    check(out.returncode == 2 and out.stderr and not out.stdout, '--name not UTF-8:', out)
    check(not subprocess.run(['xdotool', 'search', '--name', '^Zellworth$'], capture_output=True).stdout,
          'a refused start opened a window')


def window(s):
    """Options; --fullscreen covers the screen and F4 brings the 800 x 600 window back; one window
    captioned Zellworth shows the title picture without loading OpenGL; the frame follows Up and
    Down and wraps; confirming the bottom entry quits with status 0 and no Settings.bin."""
    options(s)
    s.start('--fullscreen').window()
    s.wait(10, 'the window covering the screen', lambda: s.size() == (1024, 768))
    s.key('F4')
    s.wait(10, 'the window back at 800 x 600', lambda: s.size() == (800, 600))
    s.close_window()
    s.start().window()
    if not os.path.exists('/dev/dri') and not ENV.get('ZW_RENDERER'):
        gl = {line.split()[-1] for line in open('/proc/%d/maps' % s.game.pid)
              if re.search(r'libGL|_dri\.so|libLLVM|libgallium', line)}
        check(not gl, 'OpenGL loaded without graphics hardware:', gl)
    name = s.x.create_resource_object('window', s.wid).get_wm_name()
    check(name == 'Zellworth', 'caption is', repr(name))
    check(s.size() == (800, 600), 'window is', s.size())
    check(len(subprocess.run(['xdotool', 'search', '--name', '^Zellworth$'], capture_output=True).stdout.split()) == 1,
          'more than one window')
    shot = s.wait_for(10, 'the title picture', lambda shot: sprite(shot, 0, 0, 'Title.png', 0, 0, 800, 380))
    check(shot.shape == (600, 800, 3), 'screenshot is', shot.shape)
    for row in TITLE_ROWS:
        check(not (SHEETS['Title.png'][outline(row)][:, :3] == 255).all(), 'Title.png is white under row', row)
    check(hint('F4')(s.title()), 'the hint line does not name F4')
    for key, rows in (('Down', (444, 498, 390)), ('Up', (498, 444, 390, 498))):
        for row in rows:
            s.key(key)
            s.title(row)
    s.key('Return')
    s.ended()
    s.start().window().title()
    s.close_window()
    check(not os.path.exists(os.path.join(s.common, 'Settings.bin')), 'Settings.bin written without a configuration')


def play_game(s, key='Right Ctrl', attack='Control_R', fire=True):
    """From the title: the briefing, the first shot takes it away, then the fight to the game-over
    screen; returns (its shot, the score read from it)."""
    s.key('Return')
    first = s.wait_for(10, 'the briefing box', briefing(key))
    s.key(attack, hold=True)
    s.wait_for(10, 'the briefing box to go with the first shot', lambda shot: not briefing(key)(shot) and
               (shot[201:339, 321:639] == 255).all(-1).sum() < 20000)
    if not fire:
        s.key(attack, hold=False)
    over = s.fight()
    s.key(attack, hold=False)
    score = number(over, 450, 475, 'Your score: ')
    check(score is not None, 'the game-over screen shows no score')
    return first, over, score


def game(s):
    """A new game: the bird at (60, 200), three feathers, score 0, the briefing naming the attack
    key, kept while the player waits; then fights to the game-over screen, which stays past its
    pause. Three games across a restart: each screen's best score, --scores in the player's time
    zone, --verify of each and --replay of the best, which changes no table."""
    s.start().window().title()
    first, over, score = play_game(s)
    check(bird_x(first, 200, range(60, 61)) == 60, 'the bird is not at (60, 200)')
    check(score_is(first, 0), 'the score line does not read Score: 0')
    check(feathers(first) == [10, 42, 74], 'feathers at', feathers(first))
    log('first game scored', score)
    scores = [score]
    check(text(over, 450, 500, 2, 0, 800, 'Best score: %d' % score), 'best score')
    time.sleep(1.5)
    check(game_over(s.shot()), 'the game-over screen went away by itself')
    s.key('space')
    s.title()
    if ENV.get('ZW_GAMES') == '1':
        return s.close_window()
    for restart in (False, True):
        if restart:
            s.close_window()
            s.start().window().title()
        _, over, score = play_game(s)
        scores.append(score)
        check(text(over, 450, 500, 2, 0, 800, 'Best score: %d' % max(scores)), 'best of', scores)
        log('game', len(scores), 'scored', score)
        time.sleep(1.5)
    s.close_window()
    listed = subprocess.run([ENV['ZW_GAME'], '--scores'], cwd=s.path('run'), capture_output=True, text=True)
    ranked = sorted(range(3), key=lambda game: (-scores[game], game))
    today = datetime.date.today().isoformat()
    check(listed.stdout == ''.join('%2d. %10d  %s\n' % (rank + 1, scores[game], today) for rank, game in enumerate(ranked)),
          '--scores:', listed)
    east = subprocess.run([ENV['ZW_GAME'], '--scores'], cwd=s.path('run'), capture_output=True, text=True,
                          env=dict(ENV, TZ='Etc/GMT-14')).stdout.split()[2]
    check(east == datetime.datetime.now(datetime.timezone(datetime.timedelta(hours=14))).date().isoformat(),
          '--scores dates are not in the player\'s time zone:', east)
    for rank, game in enumerate(ranked):
        out = subprocess.run([ENV['ZW_GAME'], '--verify', str(rank + 1)], cwd=s.path('run'), capture_output=True, text=True)
        check(out.returncode == 0 and re.fullmatch(r'verified: score %d in \d+ frames\n' % scores[game], out.stdout),
              '--verify', rank + 1, out)
    table = open(os.path.join(s.common, 'Scores.bin'), 'rb').read()
    s.start('--replay', '1').window()
    over = s.wait_for(150, 'the watched game\'s game-over screen', game_over)
    check(number(over, 450, 475, 'Your score: ') == max(scores), 'the replay does not end with the best score')
    time.sleep(1.5)
    s.key('space')
    s.ended()
    check(open(os.path.join(s.common, 'Scores.bin'), 'rb').read() == table, 'watching a replay changed the table')


def key_configuration(s):
    """Flight Control: a close request after one key saves nothing. The eight keys are taken in
    order, a key already taken rings the bell (byte 7) and keeps the marker, Settings.bin comes
    with the key after the last, as eight little-endian key codes. After a restart the new keys
    drive the menu and the game, the arrows no longer do, and a close request mid-fire ends it."""
    settings_bin = os.path.join(s.common, 'Settings.bin')
    names = ['W'] + DEFAULT_KEYS[1:]
    for close_early in (True, False):
        s.start().window().title()
        s.key('Down')
        s.title(444)
        s.key('Return')
        s.wait_for(10, 'Flight Control at its first step', settings(DEFAULT_KEYS, 9))
        s.key('w')
        s.wait_for(10, 'W as move up', settings(names, 8))
        if close_early:
            s.close_window()
            check(not os.path.exists(settings_bin), 'a closed key configuration wrote Settings.bin')
    s.key('w')
    time.sleep(0.5)
    check(settings(names, 8)(s.shot()), 'a refused key moved the capture on')
    for i, (key, name) in enumerate(zip(['s', 'a', 'd', 'j', 'k', 'Escape', 'F5'], ['S', 'A', 'D', 'J', 'K', 'Escape', 'F5'])):
        s.key(key)
        names[i + 1] = name
        s.wait_for(10, name + ' taken', settings(names, 7 - i if i < 6 else None))
    check(not os.path.exists(settings_bin), 'Settings.bin written before the final key')
    s.key('space')
    check(hint('F5')(s.title()), 'the hint line does not name F5')
    expected = le32(0x77, 0x73, 0x61, 0x64, 0x6A, 0x6B, 0x1B, 0x4000003E)
    check(open(settings_bin, 'rb').read() == expected, 'Settings.bin holds', open(settings_bin, 'rb').read())
    s.close_window(5) if False else s.request_close()
    s.ended(quiet=False)
    check(s.stdout() == b'\x07', 'expected one bell byte on standard output, got', s.stdout())
    s.start().window().title()
    check(hint('F5')(s.shot()), 'after a restart the hint line does not name F5')
    s.key('s')
    s.title(444)
    s.key('Down', 'Up')
    time.sleep(0.5)
    check(frame_at(444)(s.shot()), 'the arrow keys still move the frame after they were rebound')
    s.key('w')
    s.title(390)
    s.key('k')
    shot = s.wait_for(10, 'the briefing box naming J', briefing('J'))
    check(bird_x(shot, 200, range(60, 61)) == 60, 'the bird is not at (60, 200)')
    s.press('j', 0.15)
    s.wait_for(10, 'the briefing box to go with the first shot', lambda shot: not briefing('J')(shot))
    s.press('d', 0.4)
    time.sleep(0.3)
    x = bird_x(s.shot(), 200, range(61, 701))
    check(x is not None, 'the bird is not on its line after D')
    log('bird moved right to x', x)
    s.key('j', hold=True)
    time.sleep(2)
    s.close_window()
    s.key('j', hold=False)
    check(open(settings_bin, 'rb').read() == expected, 'Settings.bin changed')


def missing_media(s):
    """Each missing image and sound gets its line, then "Failed to load media!" and status 1; a
    missing piece of music is not reported."""
    for name in ('Feather.png', 'snd05.wav', 'snd07.wav'):
        os.remove(os.path.join(s.common, name))
    s.start()
    s.ended(20, 1, quiet=False)
    lines = s.stdout().decode().split('\n')
    for line, prefix in zip(lines, ('Unable to load image ../Common/Feather.png! SDL Error: ',
                                    'Failed to load snd05 sound effect! SDL_mixer Error: ',
                                    'Failed to load snd07 sound effect! SDL_mixer Error: ')):
        check(line.startswith(prefix) and len(line) > len(prefix), 'line', repr(line), 'expected', prefix)
    check(lines[3:] == ['Failed to load media!', ''], 'output:', lines)
    for name in ('Feather.png', 'snd05.wav', 'snd07.wav'):
        shutil.copy(os.path.join(ENV['ZW_MEDIA'], name), s.common)
    os.remove(os.path.join(s.common, 'mus01.mid'))
    s.start().window()
    s.wait_for(10, 'the title picture', lambda shot: sprite(shot, 0, 0, 'Title.png', 0, 0, 800, 380))
    s.close_window()


def renderers(s):
    """The game's own renderer choice and OpenGL draw the title and Flight Control alike."""
    shots = []
    for renderer in ('', 'opengl'):
        ENV['ZW_RENDERER'] = renderer
        s.start().window()
        check(hint('F4')(s.title()), renderer, 'the hint line does not name F4')
        shots.append(s.last)
        s.key('Down', 'Return')
        shots.append(s.wait_for(10, 'Flight Control', settings(DEFAULT_KEYS, 9)))
        s.close_window()
    for screen, a, b in zip(('title', 'Flight Control'), shots[:2], shots[2:]):
        check((a == b).all(), screen, ':', (a != b).any(-1).sum(), 'pixels differ between the renderers')


def sound(s):
    """What the player hears: the title, game and game-over music are audible, unclipped and three
    different pieces; the title piece plays again from its start after a game, sample for sample.
    The bird's hits are mixed at their volume. Without the music files: silence, then the menu's
    sound, silence in the briefing, and the shots, each at its volume."""
    audio = s.path('audio.raw')
    mark = lambda: os.path.getsize(audio) / 176400 if os.path.exists(audio) else 0

    def window(start, skip, length):
        """(start + skip, length) once the capture holds it: a loaded machine may hold the audio back."""
        s.wait(60, 'the capture to reach %.2f s' % (start + skip + length), lambda: mark() >= start + skip + length)
        return start + skip, length

    def frames():
        return np.fromfile(audio, '<u4')

    def first_sound():
        nonzero = np.flatnonzero(frames())
        return nonzero[0] / RATE if len(nonzero) else None

    def again(at, since):
        """Where, after SINCE, the capture repeats the 50 ms from AT sample for sample."""
        f = frames()
        begin, n = round(at * RATE), RATE // 20
        for i in np.flatnonzero(f[int(since * RATE):] == f[begin]) + int(since * RATE):
            if i > begin and i + n <= len(f) and (f[i:i + n] == f[begin:begin + n]).all():
                return i / RATE
        return None

    def found(what, probe):
        value = []
        s.wait(30, what, lambda: value.append(probe()) or value[-1] is not None)
        return value[-1]

    def level(what, start, length, audible=True):
        stereo = capture(audio, start, length)
        rms, peak = np.sqrt((stereo ** 2).mean()), np.abs(stereo).max()
        log('%s: from %.2fs for %.2fs, RMS %.4f, peak %.3f' % (what, start, length, rms, peak))
        check(rms > 0.002 and peak < 0.99 if audible else rms < 0.0002, what, 'RMS', rms, 'peak', peak)

    def mixed(what, span, name, expected, most=1):
        got = volume(audio, span[0], span[1], name)
        log('%s: %s mixed at volume %.1f, expected %d' % (what, name, got, expected))
        check(any(k * expected * 0.88 < got < k * expected * 1.12 for k in range(1, most + 1)), what, 'at volume', got)

    s.start(audio=audio).window().title()
    title_start = found('the title piece', first_sound)
    title = window(title_start, 0, 6)
    s.key('Return')
    s.wait_for(10, 'the briefing box', briefing('Right Ctrl'))
    game_start = mark()
    game = window(game_start, 0.3, 3)
    s.key('Control_R', hold=True)
    s.wait_for(10, 'the first shot', lambda shot: not briefing('Right Ctrl')(shot))
    s.key('Control_R', hold=False)
    s.fight()
    over = window(mark(), 1.5, 3)
    over_end = mark()
    s.key('space')
    s.title()
    again_at = found('the title piece\'s start after the game', lambda: again(title_start, over_end))
    title_again = window(again_at, 0, 6)
    s.close_window()
    mixed('the bird being hit', (game_start, over_end - game_start), 'snd06.wav', 30, 2)
    for what, span in (('title music', title), ('game music', game), ('game-over music', over),
                       ('title music after the game', title_again)):
        level(what, *span)
    pair = lambda a, b: similarity(audio, a[0], b[0], min(a[1], b[1]))
    same = pair(title, title_again)
    log('similarity: title again %.3f' % same)
    check(same >= 0.9, 'the title music differs after a game', same)
    for what, a, b in (('title/game', title, game), ('game/game-over', game, over), ('title/game-over', title, over)):
        log('similarity %s: %.3f' % (what, pair(a, b)))
        check(pair(a, b) <= 0.8, 'the', what, 'music is the same piece')

    audio = s.path('effects.raw')
    for piece in ('mus01', 'mus02', 'mus03'):
        os.remove(os.path.join(s.common, piece + '.mid'))
    s.start(audio=audio).window().title()
    quiet_title = window(mark(), 0.1, 0.8)
    menu_start = mark()
    s.key('Down')
    s.title(444)
    s.key('Up')
    s.title(390)
    menu = window(menu_start, 0, mark() + 0.3 - menu_start)
    s.key('Return')
    s.wait_for(10, 'the briefing box', briefing('Right Ctrl'))
    quiet_game = window(mark(), 0.2, 1.2)
    shots_start = mark()
    s.key('Control_R', hold=True)
    shots = window(shots_start, 0, 2)
    s.key('Control_R', hold=False)
    s.close_window()
    level('title without music', *quiet_title, audible=False)
    level('menu sound', *menu)
    level('briefing without music', *quiet_game, audible=False)
    level('shots', *shots)
    mixed('the menu sound', menu, 'snd13.wav', 128)
    mixed('the shots', shots, 'snd01.wav', 30)
    heard = onsets(audio, *shots)
    log('sudden rises while firing:', heard)
    check(heard >= 4, 'fewer than 4 shots heard in 2 s of fire:', heard)


def pause(s):
    """Under a window manager, before the first shot: F4 does not pause; another window taking the
    focus does, coming back does not resume, the paused picture follows a new window size, P
    resumes. With a butterfly about, P freezes the picture at next to no CPU and resumes with the
    score and feathers kept; Escape pauses, Backspace gives up, and the game-over screen shows the
    score, which --verify confirms. With the board built, the game goes to a real one."""
    board = os.path.join(ENV.get('ZW_BUILD', ''), 'zellworth-board')
    args = ()
    if os.access(board, os.X_OK):
        with socket.socket() as free:
            free.bind(('127.0.0.1', 0))
            port = free.getsockname()[1]
        s.processes.append(subprocess.Popen([board, '--listen', '127.0.0.1:%d' % port, '--db', s.path('board.db')],
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        s.wait(10, 'the board', lambda: subprocess.run(['curl', '-sf', 'http://127.0.0.1:%d/api/health' % port],
                                                       capture_output=True).returncode == 0)
        args = ('--board', 'http://127.0.0.1:%d' % port, '--name', 'Pat')
    s.start(*args).window().title()
    s.key('Return')
    s.wait_for(10, 'the briefing box', briefing('Right Ctrl'))

    def moving():
        a = s.shot()
        time.sleep(0.5)
        return (a != s.shot()).any()
    s.key('F4')
    time.sleep(2.5)  # longer than a focus lost to the window manager is given to come back
    check(moving(), 'the fullscreen toggle paused the game')
    s.key('F4')
    other = subprocess.Popen(['xmessage', '-geometry', '200x50+820+700', 'another window'])
    s.wait_for(5, 'the pause when another window takes the focus', paused)
    other.kill()
    check(subprocess.run(['xdotool', 'windowactivate', '--sync', str(s.wid)], timeout=10).returncode == 0, 'no focus')
    time.sleep(1)
    check(paused(s.shot()), 'coming back resumed the game')
    check(subprocess.run(['xdotool', 'windowmove', '--sync', str(s.wid), '0', '0', 'windowsize', '--sync', str(s.wid),
                          '1000', '700'], timeout=10).returncode == 0, 'the window kept its size')
    s.picture = (33, 0, 933, 700)
    s.wait_for(5, 'the paused picture at 1000 x 700', paused)
    s.key('p')
    check(moving(), 'the picture stands still after the pause')
    s.press('Control_R', 0.1)
    time.sleep(3.2)  # a butterfly is about; its shots cannot reach the bird for a second more

    def score_and_feathers(shot):
        return number(shot, 0, -15, '\nScore: '), feathers(shot)
    before = s.shot()
    s.x.change_keyboard_control(auto_repeat_mode=X.AutoRepeatModeOn)  # a held P's repeats do not resume
    s.press('p', 1.2)
    s.x.change_keyboard_control(auto_repeat_mode=X.AutoRepeatModeOff)
    before = score_and_feathers(before)
    frozen = s.wait_for(5, 'the paused picture', paused)
    ticks = lambda: sum(map(int, open('/proc/%d/stat' % s.game.pid).read().rsplit(')', 1)[1].split()[11:13]))
    cpu = ticks()
    time.sleep(5)
    cpu = ticks() - cpu
    log('CPU while paused: %d ticks of 10 ms in 5 s' % cpu)
    check(cpu <= 5, 'the paused game took', cpu, 'ticks in 5 s')
    check((frozen == s.shot()).all(), 'the paused picture changed')
    s.key('p')
    after = s.shot()
    s.key('Escape')
    after = score_and_feathers(after)
    log('score and feathers before and after:', before, after)
    check(before == after and before[0] is not None, 'the score or the feathers changed')
    s.wait_for(5, 'the paused picture', paused)
    s.key('BackSpace')
    s.wait_for(5, 'the game-over screen with the score so far',
               lambda shot: text(shot, 450, 475, 2, 0, 800, 'Your score: %d' % after[0]))
    if args:
        s.wait_for(15, 'the board\'s rank', lambda shot: text(shot, 450, 525, 2, 0, 800, 'On the board: rank 1'))
        check(re.search(rb'^Submitted: rank 1 on the board with %d points \(entry 1\)\.$' % after[0], s.stdout(), re.M),
              'the line for the board:', s.stdout())
    time.sleep(1.1)  # the screen drops a close request during its first second
    s.request_close()
    s.ended(quiet=not args)
    out = subprocess.run([ENV['ZW_GAME'], '--verify', '1'], cwd=s.path('run'), capture_output=True, text=True)
    check(out.returncode == 0 and out.stdout.startswith('verified: score %d in ' % after[0]), '--verify:', out)


PICTURES = {(800, 600): (0, 0, 800, 600), (1000, 700): (33, 0, 933, 700), (1024, 768): (0, 0, 1024, 768),
            (1600, 1200): (0, 0, 1600, 1200), (1920, 1080): (240, 0, 1440, 1080), (2560, 1440): (480, 120, 1600, 1200)}


def scaling(s):
    """The window is --scale times 800 x 600; resized to another shape, and fullscreen on a screen
    without an 800 x 600 mode, it shows the whole picture centred between black bars, in the title
    and in a game, where butterflies enter the picture's right half; back in a window, its size."""
    scale = int((re.findall(r'--scale (\d+)', ENV.get('ZW_GAME_ARGS', '')) or ['1'])[0])
    s.start().window()
    check(s.size() == (800 * scale, 600 * scale), 'the window is', s.size())
    s.picture = PICTURES[s.size()]
    s.title()
    in_bars = lambda shot: tuple(bounding_box(s.screenshot)) == s.picture
    subprocess.run(['xdotool', 'windowmove', str(s.wid), '0', '0'])
    s.wait(10, 'the window at 1000 x 700', lambda: s.size() == (1000, 700) or
           subprocess.run(['xdotool', 'windowsize', str(s.wid), '1000', '700']) and False)
    s.picture = PICTURES[(1000, 700)]
    s.wait_for(10, 'the whole title in the resized window', lambda shot: in_bars(shot) and frame_at(390)(shot))
    s.key('F4')
    s.picture = PICTURES[tuple(map(int, s.screen.split('x')))]
    s.wait_for(10, 'the fullscreen title between black bars', lambda shot: in_bars(shot) and frame_at(390)(shot), 'root')
    s.key('Return')
    shot = s.wait_for(10, 'the briefing box', briefing('Right Ctrl'), 'root')
    check(bird_x(shot, 200, range(60, 61)) == 60 and in_bars(shot), 'the bird or the bars of the game\'s picture')
    s.key('Control_R', hold=True)
    s.wait_for(30, 'a butterfly entering the right half', butterfly_right, 'root')
    s.key('Control_R', hold=False)
    s.key('F4')
    s.wait(10, 'the window back at 1000 x 700', lambda: s.size() == (1000, 700))
    s.picture = PICTURES[(1000, 700)]
    s.wait_for(10, 'the game in the window', lambda shot: number(shot, 0, -15, '\nScore: ') is not None)
    s.close_window()


def butterfly_right(shot):
    """Any wing-beat cell of Butterfly.png in the picture's right half."""
    return any(locate(shot, 'Butterfly.png', cell, 0, 45, 45, range(400, 756), range(0, 556)) for cell in range(0, 315, 45))


DEFAULT_SETTINGS = le32(0x40000052, 0x40000051, 0x40000050, 0x4000004F, 0x6A, 0x0D, 0x08, 0x4000003D)


def configure_defaults(s, data):
    """Flight Control given the default keys but J for attack; they land in DATA/Common."""
    s.key('Down', 'Return')
    s.wait_for(10, 'Flight Control', settings(DEFAULT_KEYS, 9))
    s.key('Up', 'Down', 'Left', 'Right', 'j', 'Return', 'BackSpace', 'F4', 'space')
    s.title()
    s.close_window()
    path = os.path.join(data, 'Common', 'Settings.bin')
    check(os.path.isfile(path) and not os.path.islink(path), 'no Settings.bin of the player\'s own in', data)
    check(open(path, 'rb').read() == DEFAULT_SETTINGS, 'Settings.bin holds', open(path, 'rb').read())
    return path


def install(s):
    """cmake --install gives the program, its media, a launcher, a menu entry, icons, a manual page
    and AppStream metadata; the launcher, through a link, runs the game in a data directory of
    the user's own ($XDG_DATA_HOME or ~/.local/share), where Settings.bin lands and Scores.bin is read."""
    prefix = s.path('prefix')
    out = subprocess.run(['cmake', '--install', ENV['ZW_BUILD'], '--prefix', prefix], capture_output=True, text=True)
    check(out.returncode == 0, 'cmake --install:', out)
    at = lambda *names: os.path.join(prefix, *names)
    check(os.access(at('lib/zellworth/zellworth'), os.X_OK) and os.access(at('bin/zellworth'), os.X_OK), 'no program')
    for name in os.listdir(ENV['ZW_MEDIA']):
        if not name.startswith(('Settings.bin', 'Scores.bin')):
            check(open(os.path.join(ENV['ZW_MEDIA'], name), 'rb').read() ==
                  open(at('share/zellworth/Common', name), 'rb').read(), 'media file', name, 'not installed')
    check(not os.path.exists(at('share/zellworth/Common/Settings.bin')), 'a Settings.bin was installed')
    entry = open(at('share/applications/zellworth.desktop')).read().split('\n')
    for line in ('[Desktop Entry]', 'Type=Application', 'Name=Zellworth', 'Icon=zellworth',
                 'Exec=' + at('bin/zellworth'), 'Terminal=false'):
        check(line in entry, 'the menu entry lacks', line)
    check(any(re.match(r'Categories=(.*;)?Game;', line) for line in entry), 'the menu entry is not a game')
    for size in (16, 22, 24, 32, 48, 64, 128):
        icon = load(at('share/icons/hicolor/%dx%d/apps/zellworth.png' % (size, size)))
        check(icon.shape[:2] == (size, size), 'no', size, 'icon')
        check((icon[..., :3] != 0).any(-1).sum() >= size * size / 5, 'the', size, 'icon is nearly empty')
    man = at('share/man/man6/zellworth.6')
    check(at('lib/zellworth/zellworth') in open(man).read(), 'the manual page does not name the game')
    out = subprocess.run(['man', '--warnings', '-l', man], capture_output=True, text=True,
                         env=dict(ENV, LC_ALL='C.UTF-8', MANWIDTH='200'))
    check(not out.stderr, 'the manual page has faults:', out.stderr)
    check(os.path.isfile(at('share/metainfo/org.zellworth.zellworth.metainfo.xml')), 'no AppStream metadata')
    home, link = s.path('home'), s.path('games', 'zellworth')
    os.makedirs(home)
    os.makedirs(os.path.dirname(link))
    os.symlink(at('bin/zellworth'), link)
    ENV.pop('XDG_DATA_HOME', None)
    s.start(program=link, cwd='/', env={'HOME': home}).window().title()
    data = os.path.join(home, '.local/share/zellworth')
    title = os.path.join(data, 'Common/Title.png')
    check(os.path.islink(title) and open(title, 'rb').read() == open(os.path.join(ENV['ZW_MEDIA'], 'Title.png'), 'rb').read(),
          'the data directory does not link the installed media')
    configure_defaults(s, data)
    check(not os.path.exists(at('share/zellworth/Common/Settings.bin')), 'Settings.bin written into the installation')
    open(os.path.join(data, 'Common/Scores.bin'), 'w').write('not a table\n')
    out = subprocess.run([link, '--scores'], cwd='/', capture_output=True, text=True, env=dict(ENV, HOME=home))
    check(out.returncode == 0 and out.stdout == '../Common/Scores.bin is cut short; the best scores start empty, and the '
          'next score saved replaces the file.\nNo best scores yet.\n', '--scores through the launcher:', out)
    s.start(program=at('bin/zellworth'), env={'HOME': home, 'XDG_DATA_HOME': s.path('xdg')}).window().title()
    check(os.path.islink(s.path('xdg/zellworth/Common/Title.png')), 'XDG_DATA_HOME was not used')
    s.close_window()


def installed(s):
    """The packaged game (ZW_GAME), started by the player (ZW_AS: the command that runs as them)
    from /: the title from the installed media, a data directory of theirs, and the keys saved."""
    player = shlex.split(ENV.get('ZW_AS', ''))
    home = ENV['ZW_PLAYER_HOME']
    s.start(cwd='/', env={'XDG_DATA_HOME': ''}, prefix=player).window()
    s.wait_for(10, 'the title picture', lambda shot: sprite(shot, 0, 0, 'Title.png', 0, 0, 800, 380))
    Image.fromarray(s.title()).save(os.path.join(ENV['ZW_WORK'], 'title.png'))
    data = os.path.join(home, '.local/share/zellworth')
    owner = lambda path: os.stat(path).st_uid
    check(owner(os.path.join(data, 'Common')) == owner(home), data, 'does not belong to the player')
    check(owner(configure_defaults(s, data)) == owner(home), 'Settings.bin does not belong to the player')


def screenshots(s):
    """The README's pictures, into ZW_DOCS: the title, Flight Control, a game, the paused game and
    the game-over screen."""
    save = lambda shot, name: Image.fromarray(shot).save(os.path.join(ENV['ZW_DOCS'], name + '.png'))
    s.start().window()
    save(s.title(), 'title')
    s.key('Down', 'Return')
    s.wait_for(10, 'Flight Control', settings(DEFAULT_KEYS, 9))
    s.key('Up', 'Down', 'Left')
    save(s.wait_for(10, 'three keys taken', settings(DEFAULT_KEYS, 6)), 'key-configuration')
    s.key('Right', 'Control_R', 'Return', 'BackSpace', 'F4', 'space')
    s.title()
    s.key('Return')
    s.wait_for(10, 'the briefing box', briefing('Right Ctrl'))
    s.key('Control_R', hold=True)
    s.press('Up', 0.3)
    time.sleep(9)
    save(s.shot(), 'game')
    s.key('p')
    save(s.wait_for(5, 'the paused picture', paused), 'paused')
    s.key('p')
    save(s.fight(), 'game-over')
    s.key('Control_R', hold=False)
    time.sleep(1.5)
    s.close_window()


IMAGES = ['Butterfly', 'Bird', 'Title', 'Font', 'Feather', 'Background0', 'Background1', 'Projectiles']
BAD_MEDIA = ['image:' + name for name in IMAGES] + ['sound:%02d' % n for n in range(14)]
RECORD = le32(*range(97, 105))  # a to h


def player():
    """The command prefix that runs the game as an ordinary user (as root: zellworth-tester, made on
    first use), so that what the player made read-only refuses the game as it would at home."""
    if os.getuid() != 0:
        return []
    if subprocess.run(['id', '-u', 'zellworth-tester'], capture_output=True).returncode:
        subprocess.run(['useradd', '--create-home', '--user-group', '--shell', '/bin/sh', 'zellworth-tester'])
    home = subprocess.run(['getent', 'passwd', 'zellworth-tester'], capture_output=True, text=True).stdout.split(':')[5]
    return ['setpriv', '--reuid=zellworth-tester', '--regid=zellworth-tester', '--init-groups', 'env', 'HOME=' + home]


def fingerprint(common):
    """Names, sizes, modes, kinds and contents of everything in ../Common/."""
    if not os.path.isdir(common):
        return None
    found = []
    for top, dirs, files in sorted(os.walk(common)):
        for name in sorted(dirs + files):
            path = os.path.join(top, name)
            info = os.lstat(path)
            found.append((os.path.relpath(path, common), info.st_size, info.st_mode,
                          open(path, 'rb').read() if os.path.isfile(path) and not os.path.islink(path) else None))
    return found


def break_file(kind, path):
    name = os.path.basename(path)
    if kind == 'missing':
        os.remove(path)
    elif kind in ('empty', 'truncated', 'wrongtype'):
        source = {'empty': None, 'truncated': name, 'wrongtype': {'.png': 'snd00.wav', '.wav': 'Feather.png'}.get(name[-4:])}[kind]
        data = open(os.path.join(ENV['ZW_MEDIA'], source), 'rb').read() if source else b'not music at all\n' * (kind == 'wrongtype')
        open(path, 'wb').write(data[:24] if kind == 'truncated' else data)


def settings_file(data=None, mode=None, kind=None, tmp=None, outside=False):
    """A case's set-up of Settings.bin: bytes (a callable gets the path), a directory or a FIFO or a
    device, its mode, and what stands at its temporary name."""
    def make(common):
        path = os.path.join(common, kind and kind[1] or 'Settings.bin')
        if kind and kind[0] == 'fifo':
            os.mkfifo(path)
        elif kind:
            os.symlink('/dev/zero', path)
        if data is not None:
            open(path, 'wb').write(data)
        if mode:
            os.chmod(path, mode)
        if tmp == 'dir':
            os.makedirs(path + '.tmp')
        elif tmp == 'link':
            open(os.path.join(common, '..', 'outside'), 'w').write('the player\'s own file')
            os.symlink('../outside', path + '.tmp')
    return make


OLD_BINDINGS = le32(0x40000052, 0x40000051, 0x40000050, 0x4000004F, 0x400000E4, 13, 120, 121)


def hostile_cases():
    """(name, set-up of ../Common, runs or exits, environment, keys, expected output)."""
    random = lambda most: lambda c: open(os.path.join(c, 'Settings.bin'), 'wb').write(os.urandom(most))
    cases = [('settings-%s' % name, make, True, {}, False, b'') for name, make in [
        ('size0', settings_file(b'')), ('size3', random(3)), ('size12', settings_file(RECORD[:12])),
        ('size31', random(31)), ('size32', random(32)), ('size33', random(33)), ('1MiB', random(1 << 20)),
        ('extremes', settings_file(le32(-2 ** 31, 2 ** 31 - 1, -1, 0, 10, 1 << 30, 1073742335, 1207959552))),
        ('duplicates', settings_file(le32(*[13] * 8))), ('unreadable', settings_file(RECORD, 0)),
        ('directory', lambda c: os.makedirs(os.path.join(c, 'Settings.bin', 'inside'))),
        ('stale-temporary', settings_file(RECORD, tmp='dir'))] + [
        ('random%d' % n, lambda c: random(int.from_bytes(os.urandom(1), 'big') % 64)(c)) for n in range(5)]]
    for kind in ('fifo', 'device'):
        for name, what in (('Settings.bin', 'the keys keep their bindings.'), ('Scores.bin', 'the best scores start empty.')):
            cases.append(('special-%s-%s' % (kind, name), settings_file(kind=(kind, name)), True, {}, False,
                          b'../Common/%s is not a regular file; %s' % (name.encode(), what.encode())))
    for name, make, saved in (('writable', settings_file(OLD_BINDINGS, 0o644), True),
                              ('group-only', settings_file(OLD_BINDINGS, 0o640), True),
                              ('temporary-is-link', settings_file(OLD_BINDINGS, 0o644, tmp='link'), True),
                              ('temporary-is-directory', settings_file(OLD_BINDINGS, tmp='dir'), False),
                              ('target-is-directory', lambda c: os.makedirs(os.path.join(c, 'Settings.bin', 'inside')), False),
                              ('read-only-file', settings_file(OLD_BINDINGS, 0o444), False),
                              ('read-only-directory', lambda c: (settings_file(OLD_BINDINGS)(c), os.chmod(c, 0o555)), False)):
        cases.append(('save-' + name, make, True, {}, True, b'' if saved else b'Error opening file Settings.bin'))
    files = lambda item: item[6:] + '.png' if item.startswith('image') else 'snd%s.wav' % item[6:]
    for kind in ('missing', 'empty', 'truncated', 'wrongtype'):
        cases.append(('media-all-' + kind, lambda c, kind=kind: [break_file(kind, os.path.join(c, files(item))) for item in BAD_MEDIA],
                      False, {}, False, BAD_MEDIA))
    kinds = ('missing', 'empty', 'truncated', 'wrongtype')
    for n, item in enumerate(BAD_MEDIA):
        cases.append(('media-%s-%s' % (kinds[n % 4], files(item)),
                      lambda c, n=n, item=item: break_file(kinds[n % 4], os.path.join(c, files(item))), False, {}, False, [item]))
    for kind in ('missing', 'empty', 'wrongtype'):  # music is optional: nothing plays, nothing is said
        cases.append(('music-' + kind, lambda c, kind=kind: [break_file(kind, os.path.join(c, 'mus0%d.mid' % n)) for n in (1, 2, 3)],
                      True, {}, False, b''))
    init_failure = [b'SDL could not initialize! SDL Error: ', b'Failed to initialize!']
    return cases + [('no-common-directory', shutil.rmtree, False, {}, False, BAD_MEDIA),
                    ('no-audio-device', None, False, {'SDL_AUDIODRIVER': 'nonexistent'}, False, init_failure),
                    ('no-display', None, False, {'DISPLAY': None, 'WAYLAND_DISPLAY': None, 'SDL_VIDEODRIVER': None}, False,
                     init_failure)]


def hostile(s):
    """The real game against hostile files and environments, each case from a run directory of its
    own beside a copy of the media: settings of every awkward size and kind, a FIFO or a device at
    a save path, saves that cannot be written, media missing, empty, cut short or of the wrong
    type, no ../Common/, no audio driver, no display. Each gives its messages (or none), ends with
    status 0 (SIGTERM, which SDL turns into a close request) or 1 (a failed start-up), and leaves
    the player's files as they were, or with the keys saved."""
    as_player = player()
    scratch = tempfile.mkdtemp()
    os.chmod(scratch, 0o755)
    game = os.path.join(scratch, 'zellworth')
    shutil.copy(ENV['ZW_GAME'], game)
    failures = []

    def run(case):
        name, make, runs, env, keys, expected = case
        common, problems = os.path.join(scratch, name, 'Common'), []
        os.makedirs(os.path.join(scratch, name, 'run'))
        shutil.copytree(ENV['ZW_MEDIA'], common, ignore=shutil.ignore_patterns('Settings.bin*', 'Scores.bin*'))
        make and make(common)
        before = fingerprint(common)
        if as_player:
            subprocess.run(['chown', '-R', 'zellworth-tester:', os.path.join(scratch, name)])
        environment = {k: v for k, v in dict(ENV, **{'SDL_AUDIODRIVER': 'dummy', **env}).items() if v is not None}
        out = os.path.join(scratch, name, 'stdout')
        process = subprocess.Popen(as_player + [game], cwd=os.path.join(scratch, name, 'run'), env=environment,
                                   stdout=open(out, 'wb'), stderr=subprocess.DEVNULL)
        if runs:
            found = subprocess.run(['xdotool', 'search', '--sync', '--onlyvisible', '--pid', str(process.pid), '--name',
                                    '^Zellworth$'], capture_output=True, text=True, timeout=30).stdout.split()
            problems += [] if found else ['no window appeared']
            time.sleep(0.3)
            if found and keys:
                s.wid = int(found[0])
                subprocess.run(['xdotool', 'windowfocus', '--sync', found[0]])
                s.key('Down', 'Return')
                time.sleep(0.3)
                s.key(*'abcdefgh', 'space')
                time.sleep(0.5)
            problems += [] if process.poll() is None else ['the game ended before it was asked to']
            process.terminate()
        try:
            status = process.wait(20)
        except subprocess.TimeoutExpired:
            process.kill()
            status = 'none: it did not end'
        problems += [] if status == (0 if runs else 1) else ['exit status %s' % status]
        printed = open(out, 'rb').read()
        if isinstance(expected, bytes):
            problems += [] if printed.rstrip(b'\n') == expected else ['printed %r' % printed]
        else:
            prefixes = expected if isinstance(expected[0], bytes) else [
                b'Unable to load image ../Common/%s.png! SDL Error: ' % item[6:].encode() if item[0] == 'i' else
                b'Failed to load snd%s sound effect! SDL_mixer Error: ' % item[6:].encode() for item in expected]
            lines = printed.split(b'\n')[:-1]
            if not isinstance(expected[0], bytes):
                prefixes.append(b'Failed to load media!')
            problems += [] if len(lines) == len(prefixes) and all(
                line == prefix if prefix.endswith(b'!') else line.startswith(prefix) and len(line) > len(prefix)
                for line, prefix in zip(lines, prefixes)) else ['printed %r' % printed]
        settings_bin = os.path.join(common, 'Settings.bin')
        if keys and not expected:
            mode = {'save-writable': 0o644, 'save-group-only': 0o640, 'save-temporary-is-link': 0o644}[name]
            problems += [] if (os.path.isfile(settings_bin) and not os.path.islink(settings_bin) and
                               open(settings_bin, 'rb').read() == RECORD) else ['Settings.bin is not the captured keys']
            problems += [] if not os.path.lexists(settings_bin + '.tmp') else ['a temporary file was left']
            problems += [] if os.stat(settings_bin).st_mode & 0o777 == mode else ['Settings.bin lost its mode']
            outside = os.path.join(scratch, name, 'outside')
            problems += [] if not os.path.exists(outside) or open(outside).read() == 'the player\'s own file' else \
                ['the save wrote through the link']
        else:
            os.chmod(common, 0o755) if os.path.isdir(common) else None
            problems += [] if fingerprint(common) == before else ['the player\'s files changed']
        print('%s [%s] %s' % ('ok  ' if not problems else 'FAIL', name, '; '.join(problems)), flush=True)
        return problems

    try:
        cases = hostile_cases()
        import concurrent.futures  # the cases without keys run side by side
        with concurrent.futures.ThreadPoolExecutor(3) as pool:
            failures = [p for p in pool.map(run, [c for c in cases if not c[4]]) if p]
        failures += [p for p in map(run, [c for c in cases if c[4]]) if p]
        check(not failures, len(failures), 'of', len(cases), 'cases failed')
        log(len(cases), 'cases passed')
    finally:
        subprocess.run(['chmod', '-R', 'u+rwx', scratch])
        shutil.rmtree(scratch, ignore_errors=True)


SCENARIOS = {f.__name__: f for f in (window, game, key_configuration, missing_media, renderers, sound, pause, scaling,
                                      install, installed, screenshots, hostile)}

if __name__ == '__main__':
    session, passed = None, False
    try:
        session = Session()
        SCENARIOS[NAME](session)
        passed = True
        log('PASS')
    except Fail as failure:
        log('FAIL:', failure)
    finally:
        if session:
            session.close(passed)
    sys.exit(0 if passed else 1)
