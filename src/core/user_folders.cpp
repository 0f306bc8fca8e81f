#include "core/user_folders.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>

bool korvaneDocumentsFolder(wchar_t *out, size_t size) {
    wchar_t documents[MAX_PATH] = L"";
    if (size == 0) return false;
    out[0] = L'\0';
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, documents)))
        return false;
    int n = swprintf(out, size, L"%ls\\Korvane", documents);
    if (n < 0 || (size_t)n >= size) {
        out[0] = L'\0';
        return false;
    }
    return true;
}

bool korvaneDocumentsFolder(char *out, size_t size) {
    char documents[MAX_PATH] = "";
    if (size == 0) return false;
    out[0] = '\0';
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, documents)))
        return false;
    int n = snprintf(out, size, "%s\\Korvane", documents);
    if (n < 0 || (size_t)n >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}
