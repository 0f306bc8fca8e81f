// An export on a thread of its own beside the export dialog, so the dialog keeps
// painting and answering while takes render. The thread tells the dialog of every
// take and of its end by posted messages and stops after the current block when
// cancelled; the set-up and the restore of the engine stay on the GUI thread.
#pragma once

#include <windows.h>

#include "export/render/export_run.h"

const UINT kExportTakeMessage = WM_APP + 1;  // wParam: the take's ordinal (1 for the first), lParam: takes
const UINT kExportDoneMessage = WM_APP + 2;  // the thread has rendered and written its last take

// The one export that may run. GUI thread, except where said.
struct ExportJob {
    ExportRun run;
    ExportControl control;
    ExportMemory memory;   // kept from one export to the next
    volatile LONG cancel;  // read by the export's thread after every block
    HANDLE thread;         // null when the export ran on the GUI thread
    HWND notify;
    bool active;           // from startExport until finishExport
};

// Begins the export with a copy of the settings and keys and starts its thread, which
// posts kExportTakeMessage at each take and kExportDoneMessage at the end to notify.
// When no thread can be started the export runs here, and kExportDoneMessage is posted
// all the same. False when an export is active already (nothing started).
bool startExport(ExportJob &job, const ExportSettings &settings, const uint8_t *keySelection, HWND notify);
// Asks the export to stop after the current block.
void cancelExport(ExportJob &job);
// Waits for the export's thread (answering what other threads send this one
// meanwhile), restores the engine and returns the report; the job is inactive then.
ExportReport finishExport(ExportJob &job);
// True once the export's thread has ended (or never existed).
bool exportThreadEnded(const ExportJob &job);
