// The pitch a take sounds at, measured in its held part near its key's pitch: so that
// a set made from an instrument tuned off concert pitch plays in tune, and its loops
// are whole periods of the pitch it really has. Pure functions.
#pragma once

#include <cstdint>

struct MeasuredPitch {
    bool found;     // false: no pitch near the key's (noise, an inharmonic or too short a sound)
    double period;  // frames, when found
    double cents;   // how far above its key the take sounds (negative: below), when found
};

// The part's repeat that best matches itself within a semitone and a half of the
// nominal period, refined over as many periods as half the part holds (so that a
// clean tone comes out within a fraction of a cent, and vibrato averages out). x holds
// at least `to` frames; the part is [from, to).
MeasuredPitch measurePitch(const float *x, uint32_t from, uint32_t to, double nominalPeriod);

// How unlike two runs of frames are: the squared difference of a and gain x b over
// their energy, on every step-th of count frames; 0 for the same, about 1 for
// unrelated sounds, `silence` when both are silent. The pitch search and the loop
// search both judge by it.
double mismatch(const float *a, const float *b, uint32_t count, uint32_t step, double gain, double silence);

// A measured tuning as the whole cents a set carries: 0 for a take in tune or with
// no pitch.
int tuningCents(const MeasuredPitch &pitch);
