// A check of a music file before the mixer is given it.
#pragma once

// True for a Standard MIDI File whose every track parses to its end-of-track event and which
// lasts at least one tick. The mixer's MIDI player accepts any file when it loads it, and then,
// for a file it cannot play or that lasts no time, restarts the looping piece without end on
// the audio thread while holding the mixer's lock: the next change of music and the shut-down
// would wait for that lock for ever.
bool isPlayableMidi(const char* path);
