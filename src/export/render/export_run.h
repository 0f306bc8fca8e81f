// One export from the settings to the files, as one pipeline: the takes planned once,
// then for each take: rendered through the instrument, shaped (sustain loop, trimmed
// tail), handed to the sink of the chosen file type in the plan's order; then one
// report of what was written and what was not.
//
// The takes are rendered on instances of the instrument of the export's own, opened
// from the loaded module at the export's rate and given the live instance's sound:
// with Instances automatic one per processor, each on its own thread taking whole
// takes, else one. A short probe take first compares an export instance with the live
// one; one that sounds different renders alone, and an instrument that cannot be
// opened again or refuses the sound renders on the live instance.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "export/render/offline_render.h"
#include "export/takes/export_choices.h"
#include "export/takes/export_memory.h"
#include "export/takes/export_report.h"
#include "export/takes/take_plan.h"
#include "export/render/take_turns.h"
#include "midi/midi_keys.h"
#include "plugin/plugin_state.h"

class PluginInstance;

// How an export is run: where it tells of its takes, the flag that cancels it, how
// much memory one take may hold and the memory kept between exports.
struct ExportControl {
    // Called on the export's thread as each take starts: its ordinal (1 for the first)
    // and the number of takes. May be null.
    void (*takeStarted)(void *context, int ordinal, int takes);
    void *context;
    volatile LONG *cancel;  // non-zero: the export stops after the current block; may be null
    size_t takeBudget;      // bytes of floats a take may hold in memory; 0 gives kTakeBudget
    ExportMemory *memory;   // kept from one export to the next; null: nothing is kept
    int maxInstances;       // with Instances automatic, at most this many; 0: one per processor
};

// One export through its three steps: begun on the GUI thread (planned, the engine
// stopped and the plugin set up), rendered and written on any one thread, ended on the
// GUI thread once that thread is done (the engine restored). The settings and keys are
// copied; the plan is complete once begun.
struct ExportRun {
    ExportSettings settings;
    ExportControl control;
    ExportPlan plan;
    TakeRenderer renderer;  // the live instance's: the probe's first takes, and every take without export instances
    bool ready;             // the engine and the live instance's renderer have their buffers
    // The export's own instances (opened on the GUI thread, closed by endExport) and
    // their renderers (opened on the export's thread).
    PluginInstance *instances[kMaxExportInstances];
    TakeRenderer renderers[kMaxExportInstances];
    bool rendererOpen[kMaxExportInstances];
    int instanceCount;
    ExportReport report;
};

void beginExport(ExportRun &run, const ExportSettings &settings, const uint8_t *keySelection,
                 const ExportControl *control);
// Every take rendered, shaped and handed to the file type's sink.
void renderExport(ExportRun &run);
// Restores the engine; run.report is complete afterwards.
void endExport(ExportRun &run);

// Opens up to `count` instances from the loaded one (at the rate, 512-frame blocks,
// given its state, switched on) into instances; returns how many opened. Without the
// first, *note says why (kInstancesNotOpened or kInstancesStateRefused). GUI thread,
// the live instance's audio stopped.
int openExportInstances(PluginInstance &live, int32_t rate, int count, PluginInstance **instances,
                        ExportInstanceNote *note);
void closeExportInstances(PluginInstance **instances, int count);

// The gain that brings a set whose loudest sample is `peak` to -1 dBFS (1 for silence).
float normalisingGain(float peak);

// The whole export on the calling thread, with the settings and the kKeyCount key
// flags. control may be null (no progress, no cancel, the default take budget,
// nothing kept).
ExportReport runExport(const ExportSettings &settings, const uint8_t *keySelection,
                       const ExportControl *control = nullptr);
