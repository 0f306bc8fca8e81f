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

// Where a take's frames are: in memory, or (a take beyond the memory budget) in two
// temporary files of floats, one per channel.
struct TakeAudio {
    float *memory[2];  // each channel's frames, or null: the files hold them
    HANDLE files[2];   // INVALID_HANDLE_VALUE when not used or not made
};

// count frames (at most kTakeReadFrames) of one channel (0 left, 1 right) from frame
// `from`: in memory, or read from the channel's file into scratch (what the file cannot
// deliver, a file that could not be written, reads as silence).
const int kTakeReadFrames = 4096;
const float *readTakeFrames(const TakeAudio &audio, int channel, uint32_t from, int count, float *scratch);

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
};
