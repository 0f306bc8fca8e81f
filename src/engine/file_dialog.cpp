#include "engine/file_dialog.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "core/app_state.h"
#include "core/raw_file.h"
#include "core/user_folders.h"

char gLastFolders[kFileKinds][MAX_PATH] = {"", "", ""};

namespace {
const DWORD kOpenFileNameSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
}

// The record without the later extensions (places bar, flags ex), which every
// version of the dialog accepts.
#ifndef _WIN64
static_assert(kOpenFileNameSize == 76, "OPENFILENAME without extensions is 76 bytes in 32-bit");
#endif

void dialogStartFolder(const char *last, const char *fallback, char *out, size_t size) {
    if (size == 0) return;
    snprintf(out, size, "%s", last && last[0] ? last : fallback ? fallback : "");
}

void rememberFolderOf(FileKind kind, const char *path) {
    char folder[MAX_PATH];
    folderOfPath(path, folder, sizeof folder);
    if (strcmp(folder, ".") == 0) return;  // a bare name: no folder of its own
    // "C:" alone would mean the drive's current folder.
    snprintf(gLastFolders[kind], MAX_PATH, folder[1] == ':' && !folder[2] ? "%s\\" : "%s", folder);
}

BOOL runFileDialog(HWND owner, FileKind kind, BOOL save, char *fileName, const char *filter, const char *title,
                   const char *defaultExtension, BOOL mustExist, int *filterIndex, int templateId,
                   LPOFNHOOKPROC hook, LPARAM hookData) {
    // The program's folder may well not be writable: a kind never used starts in
    // Documents\Korvane (made if missing).
    char documents[MAX_PATH] = "", start[MAX_PATH];
    if (!gLastFolders[kind][0] && korvaneDocumentsFolder(documents, sizeof documents))
        CreateDirectoryA(documents, nullptr);
    dialogStartFolder(gLastFolders[kind], documents, start, sizeof start);
    OPENFILENAMEA ofn;
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = kOpenFileNameSize;
    ofn.hwndOwner = owner;
    ofn.hInstance = gInstance;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = filterIndex ? (DWORD)*filterIndex : 0;
    ofn.lpstrFile = fileName;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = start[0] ? start : nullptr;
    ofn.lpstrTitle = title;
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLESIZING;
    if (templateId && hook) {
        ofn.Flags |= OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
        ofn.lCustData = hookData;
        ofn.lpfnHook = hook;
        ofn.lpTemplateName = MAKEINTRESOURCEA(templateId & 0xFFFF);
    }
    if (save) ofn.Flags |= OFN_OVERWRITEPROMPT;
    if (mustExist) ofn.Flags |= OFN_FILEMUSTEXIST;
    ofn.lpstrDefExt = defaultExtension;
    BOOL chosen = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (chosen && filterIndex) *filterIndex = (int)ofn.nFilterIndex;
    if (chosen) rememberFolderOf(kind, fileName);
    return chosen;
}
