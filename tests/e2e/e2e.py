#!/usr/bin/python3
"""The real game under an Xvfb of its own (e2e.py SCENARIO): keys through XTest, the window read back
and compared with the media, sound captured by SDL's disk driver. Environment: see CMakeLists.txt."""
import datetime, functools, os, pwd, re, shlex, shutil, socket, subprocess, sys, tempfile, time, wave
import numpy as np
from PIL import Image
from Xlib import X, XK, display as xdisplay, error as xerror, protocol
from Xlib.ext import xtest

ENV, NAME, START = os.environ, (sys.argv + [''])[1], time.monotonic()
TITLE_ROWS, FRAME_X, FRAME_W, FRAME_H = (390, 444, 498), 373, 418, 50
BRIEFING = ('A large formation of butterflies approaches your sector. Keep your air space clear by pressing "',
            '".\n\nYou can configure the keys in "Flight Control" from the main menu.')
LABELS = ['\n   -- Settings --\n\nPress the key to perform the following action\n\n   move up           : '] + [
    '\n   %-18s: ' % label for label in ('move down', 'move left', 'move right', 'attack', 'interact, confirm',
                                        'close, cancel', 'toggle fullscreen')]
DEFAULT_KEYS = ['Up', 'Down', 'Left', 'Right', 'Right Ctrl', 'Return', 'Backspace', 'F4']
PUNCTUATION = ".:,;|/\\'\"?!+-*=()_<>[]#$^"
RATE = 44100


def log(*words):
    print('[%s %6.1fs] %s' % (NAME, time.monotonic() - START, ' '.join(map(str, words))), flush=True)


def check(condition, *why):
    if not condition:
        raise AssertionError(' '.join(map(str, why)))


def le32(*codes):
    return b''.join((code & 0xFFFFFFFF).to_bytes(4, 'little') for code in codes)


def read(*path, mode='rb'):
    return open(os.path.join(*path), mode).read()


DEFAULT_SETTINGS = le32(0x40000052, 0x40000051, 0x40000050, 0x4000004F, 0x6A, 0x0D, 0x08, 0x4000003D)


# --- Pictures: H x W x 3 arrays; sheets H x W x 4 ------------------------------------------------

@functools.lru_cache(None)
def sheet(name):
    return np.asarray(Image.open(os.path.join(ENV['ZW_MEDIA'], name)).convert('RGBA'))


def drawn(cell):  # the pixels the game draws: opaque and not the magenta key
    return (cell[..., 3] == 255) & ~((cell[..., 0] == 255) & (cell[..., 1] == 0) & (cell[..., 2] == 255))


def compare(shot, x, y, name, sx, sy, w, h):  # (compared, differing) pixels; those off the shot differ
    cell = sheet(name)[sy:sy + h, sx:sx + w]
    mask, same = drawn(cell), np.zeros((h, w), bool)
    x0, y0, x1, y1 = max(x, 0), max(y, 0), min(x + w, shot.shape[1]), min(y + h, shot.shape[0])
    if x1 > x0 and y1 > y0:
        same[y0 - y:y1 - y, x0 - x:x1 - x] = (shot[y0:y1, x0:x1] == cell[y0 - y:y1 - y, x0 - x:x1 - x, :3]).all(-1)
    return int(mask.sum()), int((mask & ~same).sum())


def sprite(shot, x, y, name, sx, sy, w, h):
    compared, differing = compare(shot, x, y, name, sx, sy, w, h)
    return compared > 0 and differing == 0


def locate(shot, name, sx, sy, w, h, xs, ys):  # the first (x, y) of the ranges where the cell matches
    cell = sheet(name)[sy:sy + h, sx:sx + w]
    dy, dx = np.argwhere(drawn(cell))[0]
    area = shot[ys.start + dy:ys.stop + dy, xs.start + dx:xs.stop + dx]
    for y, x in np.argwhere((area == cell[dy, dx, :3]).all(-1)):
        if sprite(shot, xs.start + x, ys.start + y, name, sx, sy, w, h):
            return xs.start + x, ys.start + y
    return None


def glyph(c):
    for first, cell in (('0', 0), ('A', 10), ('a', 36)):
        if first <= c <= chr(ord(first) + (9 if first == '0' else 25)):
            return cell + ord(c) - ord(first)
    return 62 + PUNCTUATION.index(c) if c in PUNCTUATION else -1


def layout(cursor, style, left, right, text):  # the game's word wrap: (x, y, sx, sy) of each glyph
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
    cursor, results = [x, y], [(0, 0)]
    for part in texts:
        results += [compare(shot, gx, gy, 'Font.png', sx, sy, 10, 15) for gx, gy, sx, sy in layout(cursor, style, left, right, part)]
    compared, differing = map(sum, zip(*results))
    return compared > 0 and differing == 0


def number(shot, x, y, prefix, style=2):  # the number drawn after the prefix, or None
    cursor, digits = [x, y], ''
    list(layout(cursor, style, 0, 800, prefix))
    while found := [d for d in '0123456789' if sprite(shot, cursor[0] + 10 * len(digits), cursor[1], 'Font.png',
                                                      glyph(d) * 10, 6 * style * 15, 10, 15)]:
        digits += found[0]
    return int(digits) if digits and text(shot, x, y, style, 0, 800, prefix + digits) else None


def outline(row):
    mask = np.zeros((600, 800), bool)
    mask[[row, row + FRAME_H - 1], FRAME_X:FRAME_X + FRAME_W] = True
    mask[row:row + FRAME_H, [FRAME_X, FRAME_X + FRAME_W - 1]] = True
    return mask


def frame_at(want):  # the white frame at row WANT alone, the picture at the others
    return lambda shot: all((shot[outline(row)] == 255).all() if row == want else
                            (shot[outline(row)] == sheet('Title.png')[outline(row)][:, :3]).all() for row in TITLE_ROWS)


def bird_x(shot, y, xs):  # where on line y any wing-beat cell of the bird is drawn
    return min([f[0] for f in (locate(shot, 'Bird.png', c, 0, 160, 160, xs, range(y, y + 1)) for c in range(0, 640, 160)) if f],
               default=None)


def briefing(key):
    return lambda shot: text(shot, 325, 205, 3, 325, 635, BRIEFING[0], key, BRIEFING[1])


def paused(shot):
    return text(shot, 160, 305, 2, 0, 800, 'Resume: P, Escape or Pause    Give up: Backspace')


def game_over(shot):
    return text(shot, 350, 450, 2, 0, 800, 'Happy Birthday, you filthy animal!')


def hint(key):
    return lambda shot: text(shot, 290, 583, 2, 2, 800, 'Toggle fullscreen : ', key)


def title_picture(shot):
    return sprite(shot, 0, 0, 'Title.png', 0, 0, 800, 380)


def settings(names, step=None):  # Flight Control with its marker at STEP (9: move up) or its last line
    return lambda shot: text(shot, 2, 0, 0, 2, 800, *[part for pair in zip(LABELS, names) for part in pair]) and (
        text(shot, 12, (14 - step) * 15, 0, 12, 800, '>') if step else
        text(shot, 2, 180, 0, 2, 800, '\n\nPress any key to return to title screen.'))


def feathers(shot):
    return [x for x in (10, 42, 74) if sprite(shot, x, 16, 'Feather.png', 0, 0, 32, 32)]


def bounding_box(screen):  # of the pixels that are not black
    ys, xs = np.nonzero(screen.any(-1))
    return (xs.min(), ys.min(), xs.max() - xs.min() + 1, ys.max() - ys.min() + 1) if len(xs) else None


def unscale(screen, x, y, w, h):  # sampled back to 800 x 600 at the centre of each pixel's area
    return screen[y + ((np.arange(600) + 0.5) * h / 600).astype(int)][:, x + ((np.arange(800) + 0.5) * w / 800).astype(int)]


# --- Sound ----------------------------------------------------------------------------------------

def capture(path, start, length):  # stereo samples in [-1, 1)
    samples = np.fromfile(path, '<i2', count=2 * int(length * RATE), offset=4 * int(start * RATE)).reshape(-1, 2)
    check(len(samples) == int(length * RATE), 'the capture ends before %.2f s' % (start + length))
    return samples / 32768.0


def band_profile(mono):  # energy per semitone from about 65 to 4186 Hz
    power = (np.abs(np.fft.rfft(np.lib.stride_tricks.sliding_window_view(mono, 4096)[::2048] * np.hanning(4096))) ** 2).sum(0)
    notes = np.rint(69 + 12 * np.log2(np.arange(1, 2048) * RATE / 4096 / 440)).astype(int)
    keep = (notes >= 36) & (notes <= 108)
    return np.sqrt(np.bincount(notes[keep] - 36, power[1:2048][keep], 73))


def similarity(path, a, b):  # of the two windows' spectra: near 1 for the same music
    pa, pb = (band_profile(capture(path, w[0], min(a[1], b[1])).mean(1)) for w in (a, b))
    return float(pa @ pb / np.sqrt((pa @ pa) * (pb @ pb)))


def volume(path, window, name):
    """The mixer volume (of 128) of the effect's quietest playing, by the gain of its first 100 ms where
    each stretch of matches (cosine 0.8 and up) matches best."""
    with wave.open(os.path.join(ENV['ZW_MEDIA'], name)) as w:
        check((w.getnchannels(), w.getframerate(), w.getsampwidth()) == (1, RATE, 2), name, 'is not 16-bit mono')
        fx = np.frombuffer(w.readframes(RATE // 10), '<i2') / 32768.0
    mono, size = capture(path, *window).mean(1), 1 << (int(window[1] * RATE) + len(fx)).bit_length()
    offsets = len(mono) - len(fx) + 1
    correlation = np.fft.irfft(np.fft.rfft(mono, size) * np.conj(np.fft.rfft(fx, size)), size)[:offsets]
    energy = np.convolve(mono ** 2, np.ones(len(fx)), 'valid')[:offsets]
    cosine = np.where(energy > 1e-12, correlation / np.sqrt(np.maximum(energy, 1e-30) * (fx @ fx)), 0)
    edges = np.flatnonzero(np.diff(np.r_[0, cosine >= 0.8, 0]))
    gains = [correlation[a + np.argmax(cosine[a:b])] / (fx @ fx) * 128 for a, b in zip(edges[::2], edges[1::2])]
    check(gains, 'the effect', name, 'is not in the window')
    return min(gains)


def level(path, what, span, audible=True):  # audible and not clipped, or silent
    stereo = capture(path, *span)
    rms, peak = np.sqrt((stereo ** 2).mean()), np.abs(stereo).max()
    log('%s: from %.2fs for %.2fs, RMS %.4f, peak %.3f' % (what, *span, rms, peak))
    check(rms > 0.002 and peak < 0.99 if audible else rms < 0.0002, what, 'RMS', rms, 'peak', peak)


def mixed(path, what, span, name, expected, most=1):  # MOST: as many playings may start in one frame
    got = volume(path, span, name)
    log('%s: %s mixed at volume %.1f, expected %d' % (what, name, got, expected))
    check(any(k * expected * 0.88 < got < k * expected * 1.12 for k in range(1, most + 1)), what, 'at volume', got)


def onsets(path, window):  # 10 ms blocks at least 6 dB louder than the one before
    mono = capture(path, *window).mean(1)
    energy = (mono[:len(mono) // 441 * 441].reshape(-1, 441) ** 2).mean(1)
    return int(((energy[1:] > 4 * energy[:-1]) & (energy[1:] > 1e-7)).sum())


# --- The game under X -----------------------------------------------------------------------------

class Rig:
    """The X server (and ZW_WM) and a scratch tree: Common, a copy of the media, beside run."""

    def __init__(self):
        os.makedirs(ENV['ZW_WORK'], exist_ok=True)
        self.dir = tempfile.mkdtemp(prefix=NAME + '.', dir=ENV['ZW_WORK'])
        self.common = self.path('Common')
        shutil.copytree(ENV['ZW_MEDIA'], self.common, ignore=shutil.ignore_patterns('Settings.bin*', 'Scores.bin*'))
        os.makedirs(self.path('run'))
        self.processes, self.game, self.picture, self.last = [], None, None, None
        self.x = xdisplay.Display()
        log('X server on', ENV['DISPLAY'])
        if ENV.get('ZW_WM'):
            self.processes.append(subprocess.Popen([ENV['ZW_WM']], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            self.wait(10, 'the window manager', lambda: 'window id' in subprocess.run(
                ['xprop', '-root', '_NET_SUPPORTING_WM_CHECK'], capture_output=True, text=True).stdout)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def mark(self):  # the sound captured so far, in seconds: the disk driver writes in step with the clock
        return os.path.getsize(self.path('audio.raw')) / (4 * RATE) if os.path.exists(self.path('audio.raw')) else 0

    def captured(self, start, length):  # (start, length) once captured: a busy machine may hold the sound back
        self.wait(60, 'the capture to reach %.2f s' % (start + length), lambda: self.mark() >= start + length)
        return start, length

    def close(self, passed):
        for process in [self.game] + self.processes[::-1]:
            if process is not None and process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
        if passed:
            return shutil.rmtree(self.dir, ignore_errors=True)
        if self.last is not None:
            Image.fromarray(self.last).save(self.path('last-shot.png'))
        print('[%s] scratch tree kept in %s; standard output: %r' % (NAME, self.dir, self.stdout()))

    def wait(self, seconds, what, condition, step=0.1):
        deadline = time.monotonic() + seconds
        while not condition():
            check(time.monotonic() < deadline, 'timed out after %ss waiting for %s' % (seconds, what))
            time.sleep(step)

    def start(self, *args, program=None, cwd=None, audio=None, env=(), prefix=()):
        environment = dict(ENV, **{'SDL_AUDIODRIVER': 'disk' if audio else 'dummy', 'SDL_DISKAUDIOFILE': audio or '', **dict(env)})
        environment = {name: value for name, value in environment.items() if value is not None}  # None: unset
        command = [program or ENV['ZW_GAME']] + list(args)
        self.game = subprocess.Popen(list(prefix) + command, cwd=cwd or self.path('run'), env=environment,
                                     stdout=open(self.path('stdout'), 'wb'), stderr=open(self.path('stderr'), 'wb'))
        log('game started:', *command)
        return self

    def window(self):  # waits for the game's visible window and gives it the keyboard focus
        def found():
            check(self.game.poll() is None, 'the game ended before its window showed')
            self.wid = run('xdotool', 'search', '--onlyvisible', '--name', '^Zellworth$', text=True).stdout.split()
            return self.wid
        self.wait(30, 'a visible window named Zellworth', found)
        self.wid = int(self.wid[0])
        check(run('xdotool', 'windowfocus', '--sync', str(self.wid)).returncode == 0, 'no focus')
        return self

    def key(self, *names, hold=None):  # X key symbol names, pressed and released or HOLD as said
        for name in names:
            code = self.x.keysym_to_keycode(XK.string_to_keysym(name))
            check(code, 'no key code for', name)
            for kind in (X.KeyPress, X.KeyRelease) if hold is None else (X.KeyPress if hold else X.KeyRelease,):
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

    def close_window(self, quiet=True):  # as a window manager asks: a WM_DELETE_WINDOW message
        window = self.x.create_resource_object('window', self.wid)
        delete, protocols = self.x.intern_atom('WM_DELETE_WINDOW'), self.x.intern_atom('WM_PROTOCOLS')
        check(delete in (window.get_wm_protocols() or ()), 'the window takes no close request')
        window.send_event(protocol.event.ClientMessage(window=window, client_type=protocols,
                                                       data=(32, [delete, X.CurrentTime, 0, 0, 0])))
        self.x.sync()
        self.ended(quiet=quiet)

    def ended(self, status=0, quiet=True, seconds=5):  # when QUIET, the game printed nothing
        self.wait(seconds, 'the game\'s end', lambda: self.game.poll() is not None)
        got = self.game.returncode
        log('game ended with status', got)
        check(got == status, 'exit status', got, 'expected', status)
        check(not quiet or self.stdout() == b'', 'unexpected output:', self.stdout())

    def stdout(self):
        return read(self.path('stdout')) if os.path.exists(self.path('stdout')) else b''

    def shot(self, window=None):
        """The window (or 'root': the screen) through the root, since it may reach past the screen;
        with self.picture (x, y, w, h) sampled back to 800 x 600 from self.screenshot."""
        root = self.x.screen().root
        window = root if window == 'root' else self.x.create_resource_object('window', self.wid)
        size, at, screen = window.get_geometry(), root.translate_coords(window, 0, 0), root.get_geometry()
        x, y = max(-at.x, 0), max(-at.y, 0)
        w, h = min(size.width, screen.width - at.x) - x, min(size.height, screen.height - at.y) - y
        raw = root.get_image(at.x + x, at.y + y, w, h, X.ZPixmap, 0xFFFFFFFF).data
        self.screenshot = np.zeros((size.height, size.width, 3), np.uint8)
        self.screenshot[y:y + h, x:x + w] = np.frombuffer(raw, np.uint8).reshape(h, w, 4)[..., 2::-1]
        self.last = unscale(self.screenshot, *self.picture) if self.picture else self.screenshot
        return self.last

    def wait_for(self, seconds, what, condition, window=None):  # the first shot that meets the condition
        def met():
            check(self.game.poll() is None, 'the game ended while waiting for', what)
            try:
                return condition(self.shot(window))
            except xerror.BadMatch:  # a window on its way off the screen
                return False
        self.wait(seconds, what, met, 0.2)
        return self.last

    def title(self, row=390):
        return self.wait_for(10, 'the title frame at y %d' % row, frame_at(row))

    def fight(self):
        """Flies the bird up and down until the game over, whose screen drops keys in its first second:
        each key-down follows a shot without it begun less than 0.8 s before."""
        deadline, key = time.monotonic() + 150, 'Up'
        while True:
            check(self.game.poll() is None, 'the game ended during the fight')
            started = time.monotonic()
            if game_over(self.shot()):
                return self.last
            check(time.monotonic() < deadline, 'the bird still flies after 150 s')
            if time.monotonic() - started < 0.8:
                self.press(key, 0.6)
                key = 'Down' if key == 'Up' else 'Up'


def run(*args, timeout=30, **keys):
    return subprocess.run(args, capture_output=True, timeout=timeout, **keys)


def doc(shot, name):  # the README's pictures, when tests/e2e/make_screenshots.sh asks for them
    ENV.get('ZW_DOCS') and Image.fromarray(shot).save(os.path.join(ENV['ZW_DOCS'], name + '.png'))
    return shot


# --- Scenarios ------------------------------------------------------------------------------------

def window(s):
    """Options, misuses (status 2); --fullscreen until F4, then one 800 x 600 window without OpenGL and
    its title, quit from; a close request in Flight Control with three keys taken saves nothing."""
    answer = lambda *args: run(ENV['ZW_GAME'], *args, cwd=s.path('run'), env=dict(ENV, SDL_AUDIODRIVER='dummy'))
    out = answer('--help')
    check(out.returncode == 0 and re.search(rb'^Usage: zellworth \[--fullscreen\] \[--scale N\] \[--mute\] '
                                            rb'\[--replay RANK\|FILE\]$', out.stdout, re.M), '--help:', out)
    check(b'--scale N' in out.stdout and b'--scores' in out.stdout, '--help explains too little')
    check(answer('--scores').stdout == b'No best scores yet.\n', '--scores before any game')
    check(not os.path.exists(os.path.join(s.common, 'Scores.bin')), '--scores made a scores file')
    check(re.fullmatch(rb'zellworth [0-9.]*\n', answer('--version').stdout), '--version')
    fit = b"a window of 1600x1200 (--scale 2) does not fit the desktop's 1024x768"
    for misuse, said in [(misuse, b'') for misuse in ('--bogus', '--scale', '--scale 0', '--scale two', '--scale=9999', '--scale=',
                                                      '--name Ada', '--submit 1', '--board ftp://127.0.0.1',
                                                      '--board http://127.0.0.1 --name \udcff')] + [
            ('--scale 2', fit), ('--scale=2', fit), ('--name', b'--name needs a value'), ('--board', b'--board needs a value'),
            ('--submit', b'--submit needs a value'), ('--scale=64', b'(--scale 64) does not fit'), ('--scale=65', b'from 1 to 64, not 65')]:
        out = answer(*[os.fsencode(word) for word in misuse.split()])
        check(out.returncode == 2 and out.stderr and said in out.stderr and not out.stdout, misuse, out)
    check(not run('xdotool', 'search', '--name', '^Zellworth$').stdout, 'a refused start opened a window')
    s.start('--fullscreen').window()
    s.wait(10, 'the window covering the screen', lambda: s.size() == (1024, 768))
    s.key('F4')
    s.wait(10, 'the window back at 800 x 600', lambda: s.size() == (800, 600))
    if not os.path.exists('/dev/dri'):  # it would rasterise on the CPU
        gl = [line for line in open('/proc/%d/maps' % s.game.pid) if re.search(r'libGL|_dri\.so|libLLVM|libgallium', line)]
        check(not gl, 'OpenGL loaded without graphics hardware:', gl)
    check('libcurl' not in open('/proc/%d/maps' % s.game.pid).read(), 'libcurl loaded with no board named')
    check(s.x.create_resource_object('window', s.wid).get_wm_name() == 'Zellworth', 'the caption')
    check(len(run('xdotool', 'search', '--name', '^Zellworth$').stdout.split()) == 1, 'more than one window')
    s.wait_for(10, 'the title picture', title_picture)
    check(hint('F4')(doc(s.title(), 'title')), 'the hint line does not name F4')
    s.key('Up')  # the walk and wrap of the frame are the screens test's
    s.title(498)
    s.key('Return')
    s.ended()
    s.start().window().title()
    s.key('Down')
    s.title(444)
    s.key('Return')
    s.wait_for(10, 'Flight Control', settings(DEFAULT_KEYS, 9))
    s.key('Up', 'Down', 'Left')
    doc(s.wait_for(10, 'three keys taken', settings(DEFAULT_KEYS, 6)), 'key-configuration')  # the page's reference
    s.close_window()
    check(not os.path.exists(os.path.join(s.common, 'Settings.bin')), 'Settings.bin written without a whole configuration')


def fight(s, fire=True):
    s.key('Control_R', hold=True)  # held: a press and release within one frame fires nothing
    s.wait_for(10, 'the briefing box to go with the first shot', lambda shot: not briefing('Right Ctrl')(shot) and
               (shot[201:339, 321:639] == 255).all(-1).sum() < 20000)
    if not fire:
        s.key('Control_R', hold=False)
    elif ENV.get('ZW_DOCS'):  # the README's game in progress
        time.sleep(9)
        doc(s.shot(), 'game')
    over = s.fight()
    s.key('Control_R', hold=False)
    score = number(over, 450, 475, 'Your score: ')
    check(score is not None, 'the game-over screen shows no score')
    return over, score


def game(s):
    """Two games seen and heard: briefing, game over, the three pieces of music; after a restart, the
    best score kept and the bird's hits at their volume; --scores, --verify and --replay."""
    audio, mark, window = s.path('audio.raw'), s.mark, s.captured
    frames = lambda: np.fromfile(audio, '<u4')

    def found(what, probe):
        value = []
        s.wait(30, what, lambda: value.append(probe()) or value[-1] is not None)
        return value[-1]

    def again(at, since):  # where, after SINCE, the capture repeats the 50 ms from AT
        f, begin, n = frames(), round(at * RATE), RATE // 20
        for i in np.flatnonzero(f[int(since * RATE):] == f[begin]) + int(since * RATE):
            if i > begin and i + n <= len(f) and (f[i:i + n] == f[begin:begin + n]).all():
                return i / RATE

    s.start(audio=audio).window().title()
    title = window(found('the title piece', lambda: next(iter(np.flatnonzero(frames()) / RATE), None)), 6)
    s.key('Return')
    first = s.wait_for(10, 'the briefing box', briefing('Right Ctrl'))
    check(bird_x(first, 200, range(60, 61)) == 60, 'the bird is not at (60, 200)')
    check(number(first, 0, -15, '\nScore: ') == 0 and feathers(first) == [10, 42, 74], 'score and feathers')
    music = window(mark() + 0.3, 3)
    check(briefing('Right Ctrl')(s.shot()) and bird_x(s.last, 200, range(60, 61)) == 60, 'the bird moved without a key')
    over, score = fight(s)
    doc(over, 'game-over')
    log('first game scored', score)
    scores = [score]
    check(text(over, 450, 500, 2, 0, 800, 'Best score: %d' % score), 'best score')
    over_music = window(mark() + 1.5, 3)
    check(game_over(s.shot()), 'the game-over screen went away by itself')
    over_end = mark()
    s.key('space')
    s.title()
    title_again = window(found('the title piece again', lambda: again(title[0], over_end)), 6)
    for what, span in (('title music', title), ('game music', music), ('game-over music', over_music),
                       ('title music after the game', title_again)):
        level(audio, what, span)
    check(similarity(audio, title, title_again) >= 0.9, 'the title music differs after a game')
    for what, a, b in (('title/game', title, music), ('game/game-over', music, over_music), ('title/game-over', title, over_music)):
        log('similarity of %s: %.3f' % (what, similarity(audio, a, b)))
        check(similarity(audio, a, b) <= 0.8, 'the', what, 'music is the same piece')
    s.close_window()
    s.start(audio=audio).window().title()
    hits = mark()
    s.key('Return')
    s.wait_for(10, 'the briefing box', briefing('Right Ctrl'))
    over, score = fight(s, fire=False)
    scores.append(score)
    log('second game scored', score)
    check(text(over, 450, 500, 2, 0, 800, 'Best score: %d' % max(scores)), 'best of', scores)
    # The hits without the bird's shots, up to well into the silent game-over screen.
    mixed(audio, 'the bird being hit', window(hits, mark() + 1.5 - hits), 'snd06.wav', 30, 2)
    time.sleep(1.5)
    s.close_window()
    listed = run(ENV['ZW_GAME'], '--scores', cwd=s.path('run'), text=True)
    ranked = sorted(range(2), key=lambda game: (-scores[game], game))
    check(listed.stdout == ''.join('%2d. %10d  %s\n' % (rank + 1, scores[game], datetime.date.today())
                                   for rank, game in enumerate(ranked)), '--scores:', listed)
    east = run(ENV['ZW_GAME'], '--scores', cwd=s.path('run'), text=True, env=dict(ENV, TZ='Etc/GMT-14')).stdout.split()[2]
    check(east == str(datetime.datetime.now(datetime.timezone(datetime.timedelta(hours=14))).date()), '--scores in', east)
    lengths = {}
    for rank, game in enumerate(ranked):
        out = run(ENV['ZW_GAME'], '--verify', str(rank + 1), cwd=s.path('run'), text=True)
        verdict = re.fullmatch(r'verified: score %d in (\d+) frames\n' % scores[game], out.stdout)
        check(out.returncode == 0 and verdict, '--verify', rank + 1, out)
        lengths[int(verdict[1])] = rank
    table, rank = read(s.common, 'Scores.bin'), lengths[min(lengths)]  # the shortest game, watched again
    s.start('--replay', str(rank + 1)).window()
    over = s.wait_for(150, 'the watched game\'s end', game_over)
    check(number(over, 450, 475, 'Your score: ') == scores[ranked[rank]], 'the replay\'s score')
    time.sleep(1.5)
    s.key('space')
    s.ended()
    check(read(s.common, 'Scores.bin') == table, 'watching a replay changed the table')


def key_configuration(s):
    """Flight Control: eight keys, one taken twice rings the bell, the next saves Settings.bin; without
    music the new keys drive the menu and the game, heard at their volumes; a close mid-fire."""
    settings_bin, names = os.path.join(s.common, 'Settings.bin'), ['W'] + DEFAULT_KEYS[1:]
    s.start().window().title()
    s.key('Down')
    s.title(444)
    s.key('Return')
    s.wait_for(10, 'Flight Control at its first step', settings(DEFAULT_KEYS, 9))
    s.key('w')
    s.wait_for(10, 'W as move up', settings(names, 8))
    s.key('w', 's', 'a', 'd', 'j', 'k', 'Escape', 'F5')  # W again is refused with the bell
    names[1:] = ['S', 'A', 'D', 'J', 'K', 'Escape', 'F5']
    s.wait_for(10, 'the keys taken', settings(names))
    check(not os.path.exists(settings_bin), 'Settings.bin written before the final key')
    s.key('space')
    check(hint('F5')(s.title()), 'the hint line does not name F5')
    expected = le32(0x77, 0x73, 0x61, 0x64, 0x6A, 0x6B, 0x1B, 0x4000003E)
    check(read(settings_bin) == expected, 'Settings.bin holds', read(settings_bin))
    s.close_window(quiet=False)
    check(s.stdout() == b'\x07', 'expected one bell byte on standard output, got', s.stdout())
    for piece in ('mus01', 'mus02', 'mus03'):
        os.remove(os.path.join(s.common, piece + '.mid'))
    audio, mark, window = s.path('audio.raw'), s.mark, s.captured
    s.start(audio=audio).window().title()
    quiet_title = window(mark() + 0.1, 0.8)
    menu = mark()
    s.key('s')
    s.title(444)
    s.key('Down', 'Up')
    time.sleep(0.5)
    check(frame_at(444)(s.shot()), 'the arrow keys still move the frame after they were rebound')
    s.key('w')
    s.title(390)
    menu = window(menu, mark() + 0.3 - menu)  # each sound started before its frame was seen
    s.key('k')
    check(bird_x(s.wait_for(10, 'the briefing box naming J', briefing('J')), 200, range(60, 61)) == 60, 'the bird')
    quiet_game = window(mark() + 0.2, 1.2)
    shots = mark()
    s.key('j', hold=True)
    shots = window(shots, 2)  # the first butterfly comes 3 s after the first shot: the bird's shots alone
    s.key('j', hold=False)  # its own shots would cover the bird's beak
    s.wait_for(10, 'the briefing box to go with the first shot', lambda shot: not briefing('J')(shot))
    s.press('d', 0.4)
    time.sleep(0.3)
    x = bird_x(s.shot(), 200, range(61, 701))
    check(x is not None, 'the bird is not on its line after D')
    log('bird moved right to x', x)
    s.key('j', hold=True)
    time.sleep(1)
    s.close_window()
    s.key('j', hold=False)
    check(read(settings_bin) == expected, 'Settings.bin changed')
    for what, span, audible in (('title without music', quiet_title, False), ('menu sound', menu, True),
                                ('briefing without music', quiet_game, False), ('shots', shots, True)):
        level(audio, what, span, audible)
    mixed(audio, 'the menu sound', menu, 'snd13.wav', 128)
    mixed(audio, 'the shots', shots, 'snd01.wav', 30)
    log('sudden rises while firing:', onsets(audio, shots))
    check(onsets(audio, shots) >= 4, 'fewer than 4 shots heard in 2 s of fire')


def pause(s):
    """Under a window manager: the focus lost pauses, F4 does not; P held freezes the game at next to
    no CPU; Backspace gives up to the score so far, which --verify and a real board take."""
    board, args = os.path.join(ENV.get('ZW_BUILD', ''), 'zellworth-board'), ()
    if os.access(board, os.X_OK):
        with socket.socket() as free:
            free.bind(('127.0.0.1', 0))
            url = 'http://127.0.0.1:%d' % free.getsockname()[1]
        s.processes.append(subprocess.Popen([board, '--listen', url[7:], '--db', s.path('board.db')],
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        s.wait(10, 'the board', lambda: run('curl', '-sf', url + '/api/health').returncode == 0)
        args = ('--board', url, '--name', 'Pat')
    s.start(*args).window().title()
    s.key('Return')
    s.wait_for(10, 'the briefing box', briefing('Right Ctrl'))

    def moving():
        a = s.shot().copy()
        time.sleep(0.5)
        return (a != s.shot()).any()
    s.key('F4')
    time.sleep(2.5)  # longer than a focus lost to the window manager is given to come back
    check(moving(), 'the fullscreen toggle paused the game')
    s.key('F4')
    other = subprocess.Popen(['xmessage', '-geometry', '200x50+820+700', 'another window'], stderr=subprocess.DEVNULL)
    s.wait_for(5, 'the pause when another window takes the focus', paused)
    other.kill()
    check(run('xdotool', 'windowactivate', '--sync', str(s.wid)).returncode == 0, 'the focus did not come back')
    time.sleep(1)
    check(paused(s.shot()), 'coming back resumed the game')
    check(run('xdotool', 'windowmove', '--sync', str(s.wid), '0', '0', 'windowsize', '--sync', str(s.wid), '1000',
              '700').returncode == 0, 'the window kept its size')
    s.picture = (33, 0, 933, 700)
    s.wait_for(5, 'the paused picture at 1000 x 700', paused)
    s.key('p')
    check(moving(), 'the picture stands still after the pause')
    s.press('Control_R', 0.1)
    time.sleep(3.2)  # a butterfly is about, and its shots cannot reach the bird for a second more
    before = s.shot().copy()  # read while paused, so that the game runs on no longer than a shot takes
    s.x.change_keyboard_control(auto_repeat_mode=X.AutoRepeatModeOn)
    s.press('p', 1.2)
    s.x.change_keyboard_control(auto_repeat_mode=X.AutoRepeatModeOff)
    before = number(before, 0, -15, '\nScore: '), feathers(before)
    frozen = doc(s.wait_for(5, 'the paused picture', paused).copy(), 'paused')
    ticks = lambda: sum(map(int, read('/proc/%d/stat' % s.game.pid, mode='r').rsplit(')', 1)[1].split()[11:13]))
    cpu = ticks()
    time.sleep(5)
    log('CPU while paused: %d ticks of 10 ms in 5 s' % (ticks() - cpu))
    check(ticks() - cpu <= 5, 'the paused game took', ticks() - cpu, 'ticks in 5 s')
    check((frozen == s.shot()).all(), 'the paused picture changed')
    s.key('p')
    after = s.shot().copy()
    s.key('Escape')
    after = number(after, 0, -15, '\nScore: '), feathers(after)
    log('score and feathers before and after:', before, after)
    check(before == after and before[0] is not None, 'the score or the feathers changed')
    s.wait_for(5, 'the paused picture', paused)
    s.key('BackSpace')
    s.wait_for(5, 'the score so far', lambda shot: text(shot, 450, 475, 2, 0, 800, 'Your score: %d' % after[0]))
    if args:
        s.wait_for(15, 'the board\'s rank', lambda shot: text(shot, 450, 525, 2, 0, 800, 'On the board: rank 1'))
        check(re.search(rb'^Submitted: rank 1 on the board with %d points \(entry 1\)\.$' % after[0], s.stdout(), re.M),
              'the line for the board:', s.stdout())
    time.sleep(1.1)  # the screen drops a close request during its first second
    s.close_window(quiet=not args)
    out = run(ENV['ZW_GAME'], '--verify', '1', cwd=s.path('run'), text=True)
    check(out.returncode == 0 and out.stdout.startswith('verified: score %d in ' % after[0]), '--verify:', out)


def scaling(s):
    """--scale 2 on OpenGL under a window manager (CMakeLists.txt): the window twice 800 x 600; fullscreen,
    the whole picture centred between black bars, in the title and a game; back, its size. (Resized
    windows: app.ScaledWindowTest, and the pause scenario's.)"""
    window, full = (0, 0, 1600, 1200), (480, 120, 1600, 1200)  # the pictures in the window and in 2560 x 1440
    s.start('--scale', '2', env={'SDL_RENDER_DRIVER': 'opengl'}).window()
    check(s.size() == (1600, 1200), 'the window is', s.size())
    s.picture = window
    s.title()
    in_bars = lambda shot: tuple(bounding_box(s.screenshot)) == s.picture
    s.key('F4')
    s.picture = full
    s.wait_for(10, 'the fullscreen title between black bars', lambda shot: in_bars(shot) and frame_at(390)(shot), 'root')
    s.key('Return')
    shot = s.wait_for(10, 'the briefing box', briefing('Right Ctrl'), 'root')
    check(bird_x(shot, 200, range(60, 61)) == 60 and in_bars(shot), 'the bird or the bars of the game\'s picture')
    s.key('Control_R', hold=True)
    s.wait_for(120, 'a butterfly in the right half', lambda shot: any(
        locate(shot, 'Butterfly.png', cell, 0, 45, 45, range(400, 756), range(0, 556)) for cell in range(0, 315, 45)), 'root')
    s.key('Control_R', hold=False)
    s.key('F4')
    s.wait(10, 'the window back at 1600 x 1200', lambda: s.size() == (1600, 1200))
    s.picture = window
    s.wait_for(10, 'the game in the window', lambda shot: number(shot, 0, -15, '\nScore: ') is not None)
    s.close_window()


def player_data(s, home):
    """From the title (the installed media, linked into HOME's data directory), Flight Control saves the
    default keys but J for attack there, in a file of the player's own."""
    data, owner = os.path.join(home, '.local/share/zellworth'), lambda *path: os.stat(os.path.join(*path)).st_uid
    s.wait_for(10, 'the title picture', title_picture)
    check(os.path.islink(os.path.join(data, 'Common/Title.png')) and
          read(data, 'Common/Title.png') == read(ENV['ZW_MEDIA'], 'Title.png'), 'the data directory lacks the media')
    s.key('Down', 'Return')
    s.wait_for(10, 'Flight Control', settings(DEFAULT_KEYS, 9))
    s.key('Up', 'Down', 'Left', 'Right', 'j', 'Return', 'BackSpace', 'F4', 'space')
    s.title()
    s.close_window()
    path = os.path.join(data, 'Common', 'Settings.bin')
    check(os.path.isfile(path) and not os.path.islink(path), 'no Settings.bin of the player\'s own in', data)
    check(read(path) == DEFAULT_SETTINGS, 'Settings.bin holds', read(path))
    check(owner(path) == owner(data, 'Common') == owner(home), data, 'does not belong to the player')
    return data


def install(s):
    """cmake --install's files; the launcher, through a link, runs the game in the user's own data
    directory ($XDG_DATA_HOME, ~/.local/share), where Settings.bin is saved and --scores reads."""
    prefix = s.path('prefix')
    at = lambda *names: os.path.join(prefix, *names)
    out = run('cmake', '--install', ENV['ZW_BUILD'], '--prefix', prefix)
    check(out.returncode == 0, 'cmake --install:', out)
    check(os.access(at('lib/zellworth/zellworth'), os.X_OK) and os.access(at('bin/zellworth'), os.X_OK), 'no program')
    for name in [n for n in os.listdir(ENV['ZW_MEDIA']) if not n.startswith(('Settings.bin', 'Scores.bin'))]:
        check(read(ENV['ZW_MEDIA'], name) == read(prefix, 'share/zellworth/Common', name), name, 'is not installed')
    check(not os.path.exists(at('share/zellworth/Common/Settings.bin')), 'a Settings.bin was installed')
    entry = read(prefix, 'share/applications/zellworth.desktop', mode='r').split('\n')
    for line in ('[Desktop Entry]', 'Type=Application', 'Name=Zellworth', 'Icon=zellworth', 'Exec=' + at('bin/zellworth'),
                 'Terminal=false'):
        check(line in entry, 'the menu entry lacks', line)
    check(any(re.match(r'Categories=(.*;)?Game;', line) for line in entry), 'the menu entry is not a game')
    for size in (16, 22, 24, 32, 48, 64, 128):
        icon = np.asarray(Image.open(at('share/icons/hicolor/%dx%d/apps/zellworth.png' % (size, size))).convert('RGB'))
        check(icon.shape[:2] == (size, size) and icon.any(-1).sum() >= size * size / 5, 'the', size, 'icon')
    man = at('share/man/man6/zellworth.6')
    check(at('lib/zellworth/zellworth') in read(man, mode='r'), 'the manual page does not name the game')
    check(not run('man', '--warnings', '-l', man, env=dict(ENV, LC_ALL='C.UTF-8', MANWIDTH='200')).stderr, 'the manual page')
    check(os.path.isfile(at('share/metainfo/org.zellworth.zellworth.metainfo.xml')), 'no AppStream metadata')
    home, link = s.path('home'), s.path('games', 'zellworth')
    os.makedirs(home)
    os.makedirs(os.path.dirname(link))
    os.symlink(at('bin/zellworth'), link)
    ENV.pop('XDG_DATA_HOME', None)
    data = player_data(s.start(program=link, cwd='/', env={'HOME': home}).window(), home)
    check(not os.path.exists(at('share/zellworth/Common/Settings.bin')), 'Settings.bin written into the installation')
    open(os.path.join(data, 'Common/Scores.bin'), 'w').write('not a table\n')
    out = run(link, '--scores', cwd='/', text=True, env=dict(ENV, HOME=home))
    check(out.returncode == 0 and out.stdout == '../Common/Scores.bin is cut short; the best scores start empty, and the '
          'next score saved replaces the file.\nNo best scores yet.\n', '--scores through the launcher:', out)
    s.start(program=at('bin/zellworth'), env={'HOME': home, 'XDG_DATA_HOME': s.path('xdg')}).window().title()
    check(os.path.islink(s.path('xdg/zellworth/Common/Title.png')), 'XDG_DATA_HOME was not used')
    s.close_window()


def installed(s):
    """The packaged game (ZW_GAME) started from / by its player (ZW_AS runs a command as them, whose
    home is ZW_PLAYER_HOME): the title from the installed media, and the keys in their own files."""
    player_data(s.start(cwd='/', env={'XDG_DATA_HOME': None}, prefix=shlex.split(ENV.get('ZW_AS', ''))).window(),
                ENV['ZW_PLAYER_HOME'])


# --- Hostile files and environments ---------------------------------------------------------------

IMAGES = ['Butterfly', 'Bird', 'Title', 'Font', 'Feather', 'Background0', 'Background1', 'Projectiles']
MEDIA = ['%s.png' % name for name in IMAGES] + ['snd%02d.wav' % n for n in range(14)]
RECORD = le32(*range(97, 105))  # a to h
OLD_BINDINGS = le32(0x40000052, 0x40000051, 0x40000050, 0x4000004F, 0x400000E4, 13, 120, 121)
INIT_FAILURE = [b'SDL could not initialize! SDL Error: ', b'Failed to initialize!']


def media_failure(*names):  # the bad files' messages in load order, then the summary line
    return [b'Unable to load image ../Common/%s! SDL Error: ' % n.encode() if n.endswith('.png') else
            b'Failed to load %s sound effect! SDL_mixer Error: ' % n[:5].encode() for n in names] + [b'Failed to load media!']


def fingerprint(common):  # names, sizes, modes, kinds and contents of everything in ../Common/
    return os.path.isdir(common) and [
        (os.path.relpath(path, common), os.lstat(path).st_size, os.lstat(path).st_mode,
         os.path.isfile(path) and not os.path.islink(path) and read(path))
        for top, dirs, files in sorted(os.walk(common)) for path in sorted(os.path.join(top, n) for n in dirs + files)]


def broken(kind, *names):  # the media files missing, empty, cut short or of the wrong type
    def make(common):
        for name in names:
            path, other = os.path.join(common, name), {'.png': 'snd00.wav', '.wav': 'Feather.png', '.mid': None}[name[-4:]]
            if kind == 'missing':
                os.remove(path)
            else:
                data = read(ENV['ZW_MEDIA'], other) if other else b'not music at all\n'
                open(path, 'wb').write({'empty': b'', 'truncated': read(path)[:24], 'wrongtype': data}[kind])
    return make


def settings_file(data=b'', mode=None, tmp=None, name='Settings.bin', special=None):  # bytes, a FIFO or a device
    def make(common):
        path = os.path.join(common, name)
        if special:
            os.mkfifo(path) if special == 'fifo' else os.symlink('/dev/zero', path)
        elif data is not None:
            open(path, 'wb').write(data() if callable(data) else data)
        if mode is not None:
            os.chmod(path, mode)
        if tmp:
            os.makedirs(path + '.tmp')
    return make


def hostile_cases():  # (name, set-up of ../Common, runs, environment, mode of the keys saved, lines printed)
    directory = lambda common: os.makedirs(os.path.join(common, 'Settings.bin', 'inside'))
    cases = [('settings-' + name, make, True, {}, None, []) for name, make in [
        ('size0', settings_file()), ('size3', settings_file(lambda: os.urandom(3))), ('size12', settings_file(RECORD[:12])),
        ('size31', settings_file(lambda: os.urandom(31))), ('size32', settings_file(lambda: os.urandom(32))),
        ('size33', settings_file(lambda: os.urandom(33))), ('1MiB', settings_file(lambda: os.urandom(1 << 20))),
        ('extremes', settings_file(le32(-2 ** 31, 2 ** 31 - 1, -1, 0, 10, 1 << 30, 1073742335, 1207959552))),
        ('duplicates', settings_file(le32(*[13] * 8))), ('unreadable', settings_file(RECORD, 0)), ('directory', directory),
        ('stale-temporary', settings_file(RECORD, tmp=True))]]
    cases += [('%s-%s' % (special, name), settings_file(name=name, special=special), True, {}, None,
               [b'../Common/%s is not a regular file; %s' % (name.encode(), then)])
              for special in ('fifo', 'device') for name, then in (('Settings.bin', b'the keys keep their bindings.'),
                                                                    ('Scores.bin', b'the best scores start empty.'))]
    # The save through the real keys, kept or refused as the player; its other obstacles: SavedFileTest.
    cases += [('save-' + name, make, True, {}, mode, [] if mode else [b'Error opening file Settings.bin']) for name, make, mode in (
        ('group-only', settings_file(OLD_BINDINGS, 0o640), 0o640), ('read-only', settings_file(OLD_BINDINGS, 0o444), 0),
        ('read-only-directory', lambda common: (settings_file(OLD_BINDINGS)(common), os.chmod(common, 0o555)), 0))]
    kinds = ('missing', 'empty', 'truncated', 'wrongtype')
    cases += [('media-all-' + kind, broken(kind, *MEDIA), False, {}, None, media_failure(*MEDIA)) for kind in kinds]
    cases += [('media-%s-%s' % (kinds[n % 4], name), broken(kinds[n % 4], name), False, {}, None, media_failure(name))
              for n, name in enumerate(MEDIA)]
    cases += [('music-' + kind, broken(kind, 'mus01.mid', 'mus02.mid', 'mus03.mid'), True, {}, None, [])
              for kind in ('missing', 'empty', 'wrongtype')]  # music is optional: nothing plays, nothing is said
    return cases + [('no-common-directory', shutil.rmtree, False, {}, None, media_failure(*MEDIA)),
                    ('no-audio-device', None, False, {'SDL_AUDIODRIVER': 'nonexistent'}, None, INIT_FAILURE),
                    ('no-display', None, False, {'DISPLAY': None, 'WAYLAND_DISPLAY': None, 'SDL_VIDEODRIVER': None}, None,
                     INIT_FAILURE)]


def hostile(s):
    """Hostile files and environments: the messages, status 0 or 1 (a failed start), the player's files
    as they were or with the keys saved. Root plays as zellworth-tester, as at home."""
    player, scratch = [], tempfile.mkdtemp()  # outside the build, which the player may not reach
    if os.getuid() == 0:
        if run('id', '-u', 'zellworth-tester').returncode:
            run('useradd', '--create-home', '--user-group', '--shell', '/bin/sh', 'zellworth-tester')
        player = ['setpriv', '--reuid=zellworth-tester', '--regid=zellworth-tester', '--init-groups', 'env',
                  'HOME=' + pwd.getpwnam('zellworth-tester').pw_dir]
    os.chmod(scratch, 0o755)
    shutil.copy(ENV['ZW_GAME'], scratch)
    try:
        for name, make, runs, env, mode, expected in hostile_cases():
            log('case', name)
            here = os.path.join(scratch, name)
            common, settings_bin = os.path.join(here, 'Common'), os.path.join(here, 'Common', 'Settings.bin')
            shutil.copytree(ENV['ZW_MEDIA'], common, ignore=shutil.ignore_patterns('Settings.bin*', 'Scores.bin*'))
            os.makedirs(os.path.join(here, 'run'))
            make and make(common)
            before = fingerprint(common)
            player and run('chown', '-R', 'zellworth-tester:', here)
            s.start(program=os.path.join(scratch, 'zellworth'), cwd=os.path.join(here, 'run'), env=env, prefix=player)
            if runs:
                s.window()
                time.sleep(0.3)
                if mode is not None:  # Flight Control takes a to h and saves on the next key
                    s.key('Down', 'Return')
                    time.sleep(0.3)
                    s.key(*'abcdefgh', 'space')
                    time.sleep(0.5)
                check(s.game.poll() is None, 'the game ended before it was asked to')
                s.game.terminate()
            s.ended(0 if runs else 1, quiet=False, seconds=20)
            lines = s.stdout().rstrip(b'\n').split(b'\n') if s.stdout() else []  # a line ending in ': ' goes on with SDL's words
            check(len(lines) == len(expected) and all(line.startswith(want) and len(line) > len(want) if want.endswith(b': ')
                                                      else line == want for line, want in zip(lines, expected)), 'printed', lines)
            if mode:
                check(os.path.isfile(settings_bin) and not os.path.islink(settings_bin) and read(settings_bin) == RECORD,
                      'Settings.bin is not the captured keys')
                check(not os.path.lexists(settings_bin + '.tmp'), 'a temporary file was left')
                check(os.stat(settings_bin).st_mode & 0o777 == mode, 'Settings.bin lost its mode')
            else:
                check(fingerprint(common) == before, 'the player\'s files changed')
    finally:
        run('chmod', '-R', 'u+rwx', scratch)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == '__main__':
    if not ENV.get('ZW_IN_X'):  # again under an X server of its own, which goes with it
        ENV['ZW_IN_X'] = '1'
        os.execvp('bash', ['bash', os.path.join(os.path.dirname(os.path.abspath(__file__)), '../support/x_server.sh'),
                           ENV.get('ZW_SCREEN') or '1024x768', sys.executable, os.path.abspath(__file__), NAME])
    rig, passed = None, False
    try:
        rig = Rig()
        globals()[NAME](rig)
        passed = True
        log('PASS')
    except AssertionError as failure:
        log('FAIL:', failure)
    finally:
        rig and rig.close(passed)
    sys.exit(0 if passed else 1)
