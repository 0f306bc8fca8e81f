// A take as the file types receive it: rendered and shaped, with its place in the plan,
// the length and loop of its sample and where its frames are.
#pragma once

#include <windows.h>

#include <cstdint>

#include "export/takes/take_plan.h"

// A loop that plays frames start .. end - 1 and then goes back to start.
struct SustainLoop {
    bool found;
    uint32_t start;
    uint32_t end;
    float error;  // the join's residual energy over the signal's, 0 for a perfect join
    // The level the loop's end is raised by to meet its start's (1 for a steady sound): a
    // sound that fades gently is looped with a gain rising from 1 at the start to this
    // at the end, so the loop holds the level it starts at.
    float gain;
};

// Where a take's frames are: in memory, or (a take beyond the memory budget, or takes
// held back for one gain over the set) in two temporary files of floats, one per
// channel, from a frame on.
struct TakeAudio {
    float *memory[2];    // each channel's frames, or null: the files hold them
    HANDLE files[2];     // INVALID_HANDLE_VALUE when not used or not made
    uint64_t fileFrame;  // where the take starts in the files
};

// count frames (at most kTakeReadFrames) of one channel (0 left, 1 right) from frame
// `from`: in memory, or read from the channel's file into scratch (what the file cannot
// deliver, a file that could not be written, reads as silence).
const int kTakeReadFrames = 4096;
const float *readTakeFrames(const TakeAudio &audio, int channel, uint32_t from, int count, float *scratch);

// The largest magnitude among the first `frames` frames of both channels, or of their
// mono mix (L + R) / 2 for one channel, as the files will hold them.
float takePeak(const TakeAudio &audio, uint32_t frames, int channels);

// A 64-bit digest of the bits of the first `frames` frames of both channels: two
// takes with the same digest and length are taken to be the same, bit for bit.
uint64_t takeDigest(const TakeAudio &audio, uint32_t frames);

struct FinishedTake {
    const PlannedTake *planned;
    int ordinal;       // 1 for the plan's first take
    TakeAudio audio;   // valid until the next take renders
    uint32_t frames;   // of the sample: all the take's, or fewer when its tail was trimmed
    SustainLoop loop;  // loop.found: the sample loops while the key is held
    bool complete;     // every frame reached memory or both files (else padded with silence)
    // How far above its root key the take sounds, in the whole cents the set carries
    // (0 when in tune, for a chord, or with no pitch found).
    int tuningCents;
    float peak;  // the largest sample the take's files will hold before the gain (of the mono mix for mono files)
    float gain;  // what every sample is multiplied by as it is written (1: as rendered)
    // The level of its held part (of the two channels' mix) in dB of full scale, for
    // the velocity curves of a layered set; NaN when not measured.
    float levelDb;
};
