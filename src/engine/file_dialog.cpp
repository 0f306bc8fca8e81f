#include "engine/file_dialog.h"

#include <cstddef>

#include "core/app_state.h"

namespace {
const DWORD kOpenFileNameSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
}

// The record without the later extensions (places bar, flags ex), which every
// version of the dialog accepts.
#ifndef _WIN64
static_assert(kOpenFileNameSize == 76, "OPENFILENAME without extensions is 76 bytes in 32-bit");
#endif

BOOL runFileDialog(HWND owner, BOOL save, char *fileName, const char *filter, const char *title,
                   const char *defaultExtension, BOOL mustExist, int *filterIndex, int templateId,
                   LPOFNHOOKPROC hook, LPARAM hookData) {
    OPENFILENAMEA ofn;
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = kOpenFileNameSize;
    ofn.hwndOwner = owner;
    ofn.hInstance = gInstance;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = filterIndex ? (DWORD)*filterIndex : 0;
    ofn.lpstrFile = fileName;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = ".";
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
    return chosen;
}
