# The generator writes the committed media byte for byte, and they have what the game relies on;
# the desktop icon is the bird cut close. ZW_MEDIAGEN the generator, ZW_ASSETS the media, ZW_ICONS the icons.
import filecmp
import os
import subprocess
import wave

import mido
import numpy as np
import pytest
from PIL import Image

ASSETS = os.environ['ZW_ASSETS']
KEY = np.array([255, 0, 255])
LAYOUT = ['0123456789ABCDEF', 'GHIJKLMNOPQRSTUV', 'WXYZabcdefghijkl',
          'mnopqrstuvwxyz.:', ',;|/\\\'"?!+-*=()_', '<>[]#$^%%% %%%%%']  # '%' and ' ': no glyph
SIZES = {'Butterfly.png': (315, 45), 'Bird.png': (640, 320), 'Title.png': (800, 600), 'Font.png': (160, 360),
         'Feather.png': (32, 32), 'Background0.png': (1920, 300), 'Background1.png': (1920, 300),
         'Projectiles.png': (32, 8)}


def sheet(name):
    return np.asarray(Image.open(os.path.join(ASSETS, name)).convert('RGB')).astype(np.int32)


def ink(pixels):  # True where a pixel is not the colour key
    return np.any(pixels != KEY, axis=-1)


def luminance(pixels):
    return pixels @ np.array([0.3, 0.59, 0.11])


def test_the_generator_writes_the_committed_media(tmp_path):
    subprocess.run([os.environ['ZW_MEDIAGEN'], str(tmp_path)], check=True)
    written = sorted(os.listdir(tmp_path))
    assert len(written) == 25
    assert written == sorted(f for f in os.listdir(ASSETS) if f not in ('Settings.bin', 'Scores.bin'))
    assert filecmp.cmpfiles(tmp_path, ASSETS, written, shallow=False)[0] == written


@pytest.mark.parametrize('name', SIZES)
def test_sheet_size_and_key(name):
    pixels = sheet(name)
    assert pixels.shape[1::-1] == SIZES[name]
    # A pixel near magenta but not on it would show as a pink speck.
    assert not np.any(ink(pixels) & (np.linalg.norm(pixels - KEY, axis=-1) < 80))
    if name in ('Title.png', 'Background0.png', 'Background1.png'):
        assert ink(pixels).all()  # they cover the window


def test_font_glyphs():
    font = sheet('Font.png')
    cells = {(s, c): font[s * 90 + r * 15:s * 90 + r * 15 + 15, col * 10:col * 10 + 10]
             for s in range(4) for r, line in enumerate(LAYOUT) for col, c in enumerate(line)}
    assert sum(c not in '% ' for line in LAYOUT for c in line) == 87
    for s in range(4):  # a glyph for each character, and every other cell empty
        counts = ink(font[s * 90:s * 90 + 90].reshape(6, 15, 16, 10, 3)).sum(axis=(1, 3))
        assert np.array_equal(counts == 0, np.array([[c in '% ' for c in line] for line in LAYOUT]))
        assert counts.max(initial=0) > 0 and counts[counts > 0].min() >= 3
    glyphs = {c for line in LAYOUT for c in line} - set('% ')
    # No two characters share a glyph (ink and rim apart) in sets 0, 2 and 3.
    for s in (0, 2, 3):
        assert len({(ink(cells[s, c]) * np.where(luminance(cells[s, c]) > 128, 2, 1)).tobytes() for c in glyphs}) == 87
    # Set 0 is drawn on black, set 3 on white, set 2 (bright ink in a dark rim) on black and sky.
    for c in glyphs:
        lit = [luminance(cells[s, c][ink(cells[s, c])]) for s in range(4)]
        assert lit[0].min() > 170 and lit[3].max() < 80, c
        bright, dark = (lit[2] > 200).sum(), (lit[2] < 60).sum()
        assert bright + dark == lit[2].size and 0 < bright < dark, c


def test_background_sheets_join_without_a_seam():
    first, second = sheet('Background0.png'), sheet('Background1.png')

    def step(a, x, b, y):
        return np.abs(a[:, x] - b[:, y]).sum()
    for left, right in ((first, second), (second, first)):
        nearby = max(max(step(left, 1919 - o, left, 1920 - o), step(right, o - 1, right, o)) for o in range(1, 7))
        assert step(left, 1919, right, 0) <= 2 * nearby + 60
    assert sum(step(first, x, first, 1919 - x) for x in range(0, 1919, 97)) > 0  # not one flat colour


def test_bird_frames():
    bird = sheet('Bird.png')
    shapes = []
    for frame in range(4):
        normal, hit = bird[:160, frame * 160:frame * 160 + 160], bird[160:, frame * 160:frame * 160 + 160]
        drawn = ink(normal)
        shapes.append(drawn)
        assert drawn.sum() > 2000
        assert drawn[56:126, 8:128].sum() * 10 >= drawn.sum() * 8  # in the shots' hit band
        assert drawn[86:106, 40:86].all()  # the body fills the hit box's middle
        assert drawn[88:98, 105:117].sum() > 20 and not drawn[:, 124:].any()  # the beak at the muzzle
        assert not (drawn[0].any() or drawn[159].any() or drawn[:, 0].any() or drawn[:, 159].any())
        # The hit look: the same shape, flushed between red and white.
        assert np.array_equal(drawn, ink(hit))
        assert (np.linalg.norm(normal - hit, axis=-1)[drawn] > 40).sum() * 10 >= drawn.sum() * 9
        r, g, b = hit[drawn].T
        assert not np.any((r < g) | (r < b) | (np.abs(g - b) > 40))
    for frame in range(4):  # the wings beat
        assert (shapes[frame] != shapes[(frame + 1) % 4]).sum() > 100


def test_butterfly_frames():
    butterfly = sheet('Butterfly.png')
    frames = [butterfly[:, f * 45:f * 45 + 45] for f in range(7)]

    def change(a, b):
        return np.any(frames[a] != frames[b], axis=-1).sum()
    assert all(ink(frame).sum() > 150 for frame in frames)
    steps = [change(f, f + 1) for f in range(6)]
    assert min(steps) > 0
    assert change(6, 0) <= max(steps) * 3 // 2 and change(0, 3) > max(steps)  # loops back smoothly
    sky = luminance(sheet('Background0.png')[:200, 100]).mean()
    assert sky - luminance(frames[0][ink(frames[0])]).mean() > 60


def test_projectiles_and_feather():
    shots = sheet('Projectiles.png')
    boxes = [shots[:6, 0:6], shots[:8, 6:14], shots[:4, 14:32]]
    assert all(ink(box).sum() * 2 >= box.shape[0] * box.shape[1] for box in boxes)
    assert ink(shots).sum() == sum(ink(box).sum() for box in boxes)  # nothing outside them
    pellet, streak = boxes[1][ink(boxes[1])], boxes[2][ink(boxes[2])]
    assert (pellet[:, 0] - pellet[:, 2]).mean() > 80 and (streak[:, 2] - streak[:, 1]).mean() > 40
    assert 150 < ink(sheet('Feather.png')).sum() < 32 * 32 / 2


def test_title_menu_rows_and_hint_strip():
    title = luminance(sheet('Title.png'))
    widths = []
    for y in (390, 444, 498):
        plate = title[y:y + 50, 373:791]
        # A one-pixel dark frame that the white selection frame shows on, a bright label inside.
        assert np.all(plate[[0, -1]] < 120) and np.all(plate[:, [0, -1]] < 120)
        bright = plate > 180
        assert bright[3:47, 10:408].sum() > 200 and bright.sum() == bright[3:47, 10:408].sum()
        columns = np.nonzero(bright.any(axis=0))[0]
        widths.append(columns[-1] - columns[0])
    assert widths[1] > 2 * widths[0] and widths[1] > 2 * widths[2]  # "Flight Control"
    strip = sheet('Title.png')[583:598, 290:800]
    assert np.linalg.norm(strip - strip[0, 0], axis=-1).max() < 30
    assert 50 < luminance(strip[0, 0]) < 170


def read_wave(number):
    with wave.open(os.path.join(ASSETS, 'snd%02d.wav' % number)) as w:
        assert (w.getframerate(), w.getsampwidth(), w.getnchannels() in (1, 2)) == (44100, 2, True)
        samples = np.frombuffer(w.readframes(w.getnframes()), '<i2').astype(np.int32)
        return samples, w.getnframes() / 44100, w.getnchannels()


def test_sound_effects():
    sounds = [read_wave(number) for number in range(14)]
    for samples, seconds, channels in sounds:
        peak = np.abs(samples).max() / 32768
        assert samples.size > 441 and 0.03 < seconds < 1.5 and -30 < 20 * np.log10(peak) < -1
        # Faded in and out: no click at either end.
        edge = 22 * channels
        assert abs(samples[0]) < 100 and abs(samples[-1]) < 100
        assert np.abs(samples[:edge]).max() < 0.25 * peak * 32768 > np.abs(samples[-edge:]).max()
    shot, blip = sounds[1], sounds[13]
    assert shot[1] < 0.1
    for samples, seconds, _ in sounds[0:1] + sounds[2:13]:
        assert shot[1] < seconds and np.abs(shot[0]).max() < np.abs(samples).max()
    assert -15 < 20 * np.log10(np.abs(blip[0]).max() / 32768) < -9 and blip[1] < 0.2  # mastered for full volume


@pytest.mark.parametrize('name, shortest, longest, pace', [
    ('mus01.mid', 30, 60, None), ('mus02.mid', 60, None, (130, 150)), ('mus03.mid', None, 30, None)])
def test_music_loops_at_a_bar_line(name, shortest, longest, pace):
    piece = mido.MidiFile(os.path.join(ASSETS, name))
    assert piece.type == 1 and len(piece.tracks) >= 5  # tempo, melody, harmony, bass, drums
    metas = {m.type: m for m in mido.merge_tracks(piece.tracks) if m.is_meta}
    bar = piece.ticks_per_beat * 4 * metas['time_signature'].numerator // metas['time_signature'].denominator
    ends, first_note, notes, programs = set(), None, set(), set()
    for track in piece.tracks:
        tick, sounding = 0, {}
        assert track[-1].type == 'end_of_track' and all(m.type != 'end_of_track' for m in track[:-1])
        for message in track:
            tick += message.time
            if message.type == 'program_change':
                programs.add(message.channel)
            elif message.type == 'note_on' and message.velocity > 0:
                sounding[message.channel, message.note] = sounding.get((message.channel, message.note), 0) + 1
                notes.add(message.channel)
                first_note = tick if first_note is None else min(first_note, tick)
            elif message.type in ('note_on', 'note_off'):
                assert sounding.get((message.channel, message.note), 0) > 0  # no stray note off
                sounding[message.channel, message.note] -= 1
        assert not any(sounding.values())
        ends.add(tick)
    assert len(ends) == 1 and first_note == 0
    end = ends.pop()
    assert end > 0 and end % bar == 0
    assert 9 in notes and len(notes) >= 4 and notes - {9} <= programs  # drums on channel 10
    seconds = end / piece.ticks_per_beat * metas['set_tempo'].tempo / 1e6
    assert (shortest or 0) <= seconds <= (longest or 1e9)
    assert pace is None or pace[0] <= mido.tempo2bpm(metas['set_tempo'].tempo) <= pace[1]
    assert name != 'mus03.mid' or end // bar <= 12


def test_icon_is_the_bird_cut_close():
    for size in (16, 22, 24, 32, 48, 64, 128):
        icon = np.asarray(Image.open(os.path.join(os.environ['ZW_ICONS'], '%dx%d' % (size, size), 'zellworth.png')))
        assert icon.shape == (size, size, 4)
        covered = np.nonzero(icon[:, :, 3])
        span = max(np.ptp(covered[0]), np.ptp(covered[1])) + 1
        assert icon[0, 0, 3] == icon[-1, -1, 3] == 0 and size * 0.8 <= span <= size
        # A pixel partly covered keeps the colour under it: the edge is no darker than the outline.
        edge = (icon[:, :, 3] > 0) & (icon[:, :, 3] < 255)
        assert luminance(icon[:, :, :3][edge].astype(np.int32)).min() > 35
