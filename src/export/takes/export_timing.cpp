#include "export/takes/export_timing.h"

#include "audio/engine_state.h"

int32_t exportRate(int rateIndex) {
    if (rateIndex < 0 || rateIndex >= kOfferedRateCount) return 44100;
    return kOfferedRates[rateIndex];
}

ExportTiming exportTiming(int rateIndex, int holdMs, int releaseMs) {
    ExportTiming t;
    t.rate = exportRate(rateIndex);
    t.holdFrames = (int32_t)(t.rate / 1000.0 * holdMs);
    t.releaseFrames = (int32_t)(t.rate / 1000.0 * releaseMs);
    t.totalFrames = t.holdFrames + t.releaseFrames;
    return t;
}

int flushBlocks(int32_t rate) { return rate / kExportBlock + 1; }

int32_t noteOffFrame(const ExportTiming &timing) {
    int32_t blocks = timing.holdFrames / kExportBlock;
    return (blocks < 1 ? 1 : blocks) * kExportBlock;
}

TakeStep nextTakeStep(TakeCursor &cursor, const ExportTiming &timing) {
    TakeStep step;
    if (!cursor.started) {
        step.events = kTakeNoteOn;
        cursor.started = true;
    } else if (!cursor.released && cursor.position >= noteOffFrame(timing)) {
        step.events = kTakeNoteOff;
        cursor.released = true;
    } else {
        step.events = kTakeNoEvents;
    }
    int32_t left = timing.totalFrames - cursor.position;
    step.keep = left < kExportBlock ? left : kExportBlock;
    cursor.position += kExportBlock;
    return step;
}
