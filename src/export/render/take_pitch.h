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

// A measured tuning as the whole cents a set carries: 0 for a take in tune or with
// no pitch.
int tuningCents(const MeasuredPitch &pitch);
