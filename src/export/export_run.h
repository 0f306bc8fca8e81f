// One export from the settings to the files: the engine stopped and the plugin set
// up for offline rendering, every take rendered and written by the writer for the
// file type and mode, the engine restored; then one report of what was not written.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "export/export_choices.h"
#include "export/offline_render.h"
#include "midi/midi_keys.h"

// One export through its three steps: begun on the GUI thread (the engine stopped and
// the plugin set up), rendered and written on any one thread, ended on the GUI thread
// once that thread is done (the engine restored). The settings and keys are copied.
struct ExportRun {
    ExportSettings settings;
    uint8_t keys[kKeyCount];
    OfflineRender render;
    bool ready;  // the buffers of the render were allocated
    ExportReport report;
};

void beginExport(ExportRun &run, const ExportSettings &settings, const uint8_t *keySelection,
                 const ExportControl *control);
// Every take rendered and written by the writer for the file type and mode.
void renderExport(ExportRun &run);
// Restores the engine; run.report is complete afterwards.
void endExport(ExportRun &run);

// The whole export on the calling thread, with the settings and the kKeyCount key
// flags. control may be null (no progress, no cancel, the default take budget).
ExportReport runExport(const ExportSettings &settings, const uint8_t *keySelection,
                       const ExportControl *control = nullptr);

// The one message of an export with failures, or false when every file was written.
// texts: "Could not create file.", the "%d of %d files were not written:" line and
// the four reasons (create, name too long, write, too large), each with "%d".
bool exportReportText(const ExportReport &report, const wchar_t *const texts[6], wchar_t *out, size_t size);

// The message of a cancelled export: what was written (texts[0], "%d of %d files",
// or texts[1] when nothing was), then the lines of exportReportText (texts 2 to 7)
// for files that failed.
void exportCancelText(const ExportReport &report, const wchar_t *const texts[8], wchar_t *out, size_t size);
