// The system's open and save dialogs, with an optional child template and hook.
#pragma once

#include <windows.h>
#include <commdlg.h>

// fileName holds 260 characters; its content is the initial name. filterIndex, when
// not null, gives the initial filter and receives the chosen one. The template and
// hook are used only when both are given. Returns non-zero when a file was chosen.
BOOL runFileDialog(HWND owner, BOOL save, char *fileName, const char *filter, const char *title,
                   const char *defaultExtension, BOOL mustExist, int *filterIndex, int templateId,
                   LPOFNHOOKPROC hook, LPARAM hookData);
