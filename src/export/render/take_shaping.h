// Shaping a rendered take into a playable sample: a sustain loop found in its held
// part with a crossfade written ahead of the loop end, and a tail trimmed to where
// the sound has died away. Pure functions over float channels of one take.
#pragma once

#include <cstdint>

#include "export/takes/finished_take.h"

// What shaping made of a take.
struct TakeShape {
    uint32_t frames;   // of the sample: the take's, or fewer when trimmed
    SustainLoop loop;  // loop.found: the sample loops while the key is held
};

// The held part the loop is looked for in: from a quarter of the way to the note-off
// (past the attack) to the note-off, within the take's frames.
void heldPart(int32_t noteOff, int32_t totalFrames, uint32_t &from, uint32_t &to);

// The two channels summed, frames [0, count), into sum.
void sumChannels(const float *const channels[2], uint32_t count, float *sum);

// The mean power of frames [from, to) of a sum of two channels, as the level of their
// mix (sum / 2) in dB of full scale; -200 for silence.
float heldLevelDb(const float *sum, uint32_t from, uint32_t to);

// Shapes a take of two channels of `frames` frames in place: with loop, a sustain loop
// of whole periods (of `period` frames) in the held part, searched in sum (the
// channels summed over the held part; null finds no loop) and its crossfade written
// into both channels; with trim, the tail cut after it stays below -80 dBFS and faded
// (a looped sample keeps some frames after its loop).
TakeShape shapeTake(float *const channels[2], uint32_t frames, int32_t noteOff, double period, int sampleRate,
                    bool loop, bool trim, const float *sum);

// The join may leave at most this share of the signal's energy as a step (about
// -23 dB): a noise or a decaying sound gives far more and gets no loop.
const float kMaxLoopJoinError = 0.005f;

// Looks for a loop inside the held part [heldFrom, heldTo) of a take whose
// fundamental has this period in frames: a whole number of periods long (as long as
// the held part allows, at least four periods), whose end meets its start in level
// and shape. mono is the take's channels summed. The join is judged over a window
// of a few periods around its start and end; the crossfade that will be written (see
// crossfadeFrames) must fit before the start.
SustainLoop findSustainLoop(const float *mono, uint32_t frames, uint32_t heldFrom, uint32_t heldTo, double period,
                            int sampleRate);

// The crossfade ahead of a loop's end: 20 ms, or less when the loop or the frames
// before its start are shorter.
uint32_t crossfadeFrames(const SustainLoop &loop, int sampleRate);

// Frames on each side of a loop's start and end that an interpolating player reads
// across the jump: the crossfade makes them equal, so that the data on both sides of
// the end repeats the data on both sides of the start.
const uint32_t kLoopGuardFrames = 4;

// Blends the frames before the loop's end into the frames before its start, the last
// kLoopGuardFrames and more exactly those before the start, so the jump from end - 1
// back to start continues the sound without a step. After the end (within the
// channel's `frames`), the first kLoopGuardFrames repeat the loop's first frames and
// the fade's length blends back into the take's own continuation, so a note let go
// plays on from the loop without a step.
void writeLoopCrossfade(float *channel, uint32_t frames, const SustainLoop &loop, uint32_t fadeFrames);

// -80 dBFS as a sample value.
const float kTailThreshold = 1.0e-4f;

// The length of a take cut a few milliseconds after its last frame above
// kTailThreshold in any channel, never shorter than keepFrames (a loop's end) nor
// longer than frames; at least one frame.
uint32_t trimmedFrames(const float *const *channels, int channelCount, uint32_t frames, uint32_t keepFrames,
                       int sampleRate);

// Fades the last few milliseconds before `frames` down to zero.
void fadeOutTail(float *channel, uint32_t frames, int sampleRate);

// The fundamental's period in frames of a MIDI key at this rate.
double keyPeriod(int key, int sampleRate);

// A chord's sum repeats only where the periods of all its keys end together: the
// shortest whole number of the lowest key's periods that holds a whole number of every
// other key's, each within kChordPhaseMiss of a period, and short enough for a loop of
// a few of them to fit the held part of heldFrames frames. The lowest key's own
// period when the others are its harmonics (octaves); 0 when the keys share none
// (tempered thirds), and then no loop can join. keys: count MIDI keys, any order.
double chordPeriod(const uint8_t *keys, int count, int sampleRate, uint32_t heldFrames);
// How far (in periods of a key) the common period of a chord may miss a whole number
// of that key's periods: a loop of the fewest periods then still joins within the limit.
const double kChordPhaseMiss = 0.005;
