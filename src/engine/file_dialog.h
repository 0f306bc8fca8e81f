// The system's open and save dialogs, with an optional child template and hook.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstddef>

// The kinds of file the program's dialogs choose: each opens where the last of its kind
// was chosen.
enum FileKind { kRecordingFiles = 0, kSoundFiles = 1, kExportFiles = 2, kFileKinds = 3 };
// The folder each kind was last chosen in ("" before the first); the settings keep them.
extern char gLastFolders[kFileKinds][MAX_PATH];

// Where a dialog of a kind opens: the folder last used for it, else the fallback
// (Documents\Korvane). out holds size characters.
void dialogStartFolder(const char *last, const char *fallback, char *out, size_t size);
// Remembers the folder of a file of this kind used outside the dialogs (an export's).
void rememberFolderOf(FileKind kind, const char *path);

// fileName holds 260 characters; its content is the initial name (a name with a
// folder opens in that folder). filterIndex, when not null, gives the initial filter
// and receives the chosen one. The template and hook are used only when both are
// given. Returns non-zero when a file was chosen; its folder is then the kind's last.
BOOL runFileDialog(HWND owner, FileKind kind, BOOL save, char *fileName, const char *filter, const char *title,
                   const char *defaultExtension, BOOL mustExist, int *filterIndex, int templateId,
                   LPOFNHOOKPROC hook, LPARAM hookData);
