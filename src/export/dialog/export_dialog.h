// The export dialog (109) and the choices it keeps for the program's run.
#pragma once

#include <windows.h>

#include "export/dialog/key_control.h"
#include "export/takes/export_choices.h"

// The export's choices and the keys to render: from kDefaultExportSettings and no key
// selected at the first start, then as the settings kept them.
extern ExportSettings gExportSettings;
extern KeySelection gKeySelection;

// The usual decimal text-to-integer rule (leading blanks, optional sign, digits up
// to the first other character, none gives 0), clamped to low..high.
int clampedNumber(const char *text, int low, int high);

// Export is enabled with a file name and at least one selected key.
bool exportEnabled(const char *fileName, const unsigned char *keys);

// The file type a browsed name implies by its extension (.wav, .sf2, .sfz, .dspreset,
// any case), or `current` for any other extension.
ExportFileType fileTypeForName(const char *name, ExportFileType current);

// The dialog, modal, owned by the main window.
void runExportDialog(HWND owner);
// For closing the program: while an export runs, asks whether to cancel it; on Yes
// cancels it, and once it has ended (the engine restored) the dialog ends, the status
// line says what was kept and WM_CLOSE comes to the main window again. True when
// nothing runs, false while an export does (kept going, or ending).
bool closeRunningExport();
INT_PTR CALLBACK exportDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
