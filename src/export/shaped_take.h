// One planned take rendered and shaped into the sample the writers encode: the
// sustain loop and the trimmed tail the export's choices ask for.
#pragma once

#include <cstdint>

#include "export/take_plan.h"
#include "export/take_shaping.h"

struct ExportReport;
struct ExportSettings;
struct OfflineRender;

struct TakeShape {
    int32_t frames;    // points of the sample: the take's, or fewer when trimmed
    SustainLoop loop;  // loop.found: the sample loops while the key is held
};

// The held part the loop is looked for in: from a quarter of the way to the note-off
// (past the attack) to the note-off.
void heldPart(int32_t holdFrames, int32_t totalFrames, uint32_t &from, uint32_t &to);

// Shapes the take held in memory in place: with loop, a sustain loop of the root
// key's period with its crossfade; with trim, the tail cut after it stays below
// -80 dBFS and faded. Takes kept in the temporary files (beyond the memory budget)
// are left as rendered. Counts a loop asked for and not found in report.unlooped.
TakeShape shapeTake(OfflineRender &render, int rootKey, bool loop, bool trim, ExportReport &report);

// Reports the take's start, resets the plugin, renders the take's keys at its
// layer's velocity and shapes it. False when the export was cancelled meanwhile.
bool renderPlannedTake(OfflineRender &render, const PlannedTake &take, const uint8_t *keys, int ordinal, int takes,
                       const ExportSettings &settings, TakeShape &shape, ExportReport &report);
