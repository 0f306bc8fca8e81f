// The timing of an export's takes: its rate, how many frames each take holds and
// releases, where the note-off falls and the blocks the plugin renders. Pure functions.
#pragma once

#include <cstdint>

const int kExportBlock = 512;  // frames the plugin renders per call during an export

// Frame counts of every take of an export.
struct ExportTiming {
    int32_t rate;
    int32_t holdFrames;     // rate / 1000.0 x hold ms, truncated
    int32_t releaseFrames;
    int32_t totalFrames;    // hold + release
};

// Any rate index outside 0..7 gives 44100 Hz.
int32_t exportRate(int rateIndex);
ExportTiming exportTiming(int rateIndex, int holdMs, int releaseMs);
// Blocks of All Notes Off and silence before a take: rate / 512 + 1, a little more
// than a second.
int flushBlocks(int32_t rate);

// The frame the note-off falls on: the start of the block that would pass the hold,
// max(1, hold div 512) x 512, never in the note-on's block. A take shorter than that
// ends before its note-off.
int32_t noteOffFrame(const ExportTiming &timing);

// What goes to the plugin before one block of a take.
enum TakeEvents { kTakeNoEvents, kTakeNoteOn, kTakeNoteOff };

struct TakeCursor {
    int32_t position = 0;  // frames rendered so far
    bool started = false;
    bool released = false;
};

// The step before the next block: its events and the frames of it to keep (the last
// block is cut). Call while cursor.position < total frames; advances the cursor by
// one block.
struct TakeStep {
    TakeEvents events;
    int32_t keep;
};
TakeStep nextTakeStep(TakeCursor &cursor, const ExportTiming &timing);
