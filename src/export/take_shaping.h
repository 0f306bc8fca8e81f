// Shaping a rendered take into a playable sample: a sustain loop found in its held
// part with a crossfade written ahead of the loop end, and a tail trimmed to where
// the sound has died away. Pure functions over float channels of one take.
#pragma once

#include <cstdint>

// A loop that plays points start .. end - 1 and then goes back to start.
struct SustainLoop {
    bool found;
    uint32_t start;
    uint32_t end;
    float error;  // the join's residual energy over the signal's, 0 for a perfect join
};

// The join may leave at most this share of the signal's energy as a step (about
// -23 dB): a noise or a decaying sound gives far more and gets no loop.
const float kMaxLoopJoinError = 0.005f;

// Looks for a loop inside the held part [heldFrom, heldTo) of a take whose
// fundamental has this period in points: a whole number of periods long (as long as
// the held part allows, at least four periods), whose end meets its start in level
// and shape. mono is the take's channels summed. The join is judged over a window
// of a few periods around both points; the crossfade that will be written (see
// crossfadeFrames) must fit before the start.
SustainLoop findSustainLoop(const float *mono, uint32_t frames, uint32_t heldFrom, uint32_t heldTo, double period,
                            int sampleRate);

// The crossfade ahead of a loop's end: 20 ms, or less when the loop or the points
// before its start are shorter.
uint32_t crossfadeFrames(const SustainLoop &loop, int sampleRate);

// Blends the points before the loop's end into the points before its start, so the
// jump from end - 1 back to start continues the sound without a step.
void writeLoopCrossfade(float *channel, const SustainLoop &loop, uint32_t fadeFrames);

// -80 dBFS as a sample value.
const float kTailThreshold = 1.0e-4f;

// The length of a take cut a few milliseconds after its last point above
// kTailThreshold in any channel, never shorter than keepFrames (a loop's end) nor
// longer than frames; at least one point.
uint32_t trimmedFrames(const float *const *channels, int channelCount, uint32_t frames, uint32_t keepFrames,
                       int sampleRate);

// Fades the last few milliseconds before `frames` down to zero.
void fadeOutTail(float *channel, uint32_t frames, int sampleRate);

// The fundamental's period in points of a MIDI key at this rate.
double keyPeriod(int key, int sampleRate);
