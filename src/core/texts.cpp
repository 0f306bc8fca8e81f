#include "core/texts.h"

#include <cstdarg>
#include <cwchar>

#include "core/app_state.h"

int loadText(UINT id, wchar_t *text, int size) {
    if (size <= 0) return 0;
    text[0] = L'\0';
    int length = LoadStringW(gInstance, id, text, size);
    if (length < 0 || length >= size) length = 0;
    text[length] = L'\0';
    return length;
}

void formatText(wchar_t *text, size_t size, UINT id, ...) {
    if (size == 0) return;
    wchar_t format[256];
    loadText(id, format, 256);
    va_list args;
    va_start(args, id);
    int written = _vsnwprintf(text, size, format, args);
    va_end(args);
    if (written < 0 || (size_t)written >= size) text[size - 1] = L'\0';
}

void appendLine(wchar_t *text, size_t size, const wchar_t *line) {
    size_t used = wcslen(text);
    if (used + 1 >= size) return;
    text[used++] = L'\n';
    wcsncpy(text + used, line, size - used - 1);
    text[size - 1] = L'\0';
}

void appendAnsiLine(wchar_t *text, size_t size, const char *line) {
    wchar_t wide[1024];
    int length = MultiByteToWideChar(CP_ACP, 0, line, -1, wide, 1024);
    if (length <= 0) {
        // Longer than the buffer: show its beginning.
        length = MultiByteToWideChar(CP_ACP, 0, line, 1000, wide, 1023);
        wide[length > 0 ? length : 0] = L'\0';
    }
    wide[1023] = L'\0';
    appendLine(text, size, wide);
}

void appendSystemReason(wchar_t *text, size_t size, DWORD error) {
    wchar_t reason[512];
    if (error && FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                                512, nullptr))
        appendLine(text, size, reason);
}

void addListText(HWND list, UINT message, UINT id) {
    wchar_t text[256];
    loadText(id, text, 256);
    SendMessageW(list, message, message == CB_INSERTSTRING ? (WPARAM)-1 : 0, (LPARAM)text);
}

void loadFilter(UINT id, char *filter, int size) {
    if (size < 2) return;
    wchar_t wide[512];
    loadText(id, wide, 512);
    int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, filter, size - 1, nullptr, nullptr);
    if (length <= 0) length = 1;
    filter[length - 1] = '\0';
    filter[length] = '\0';  // the final empty part
    for (int i = 0; i < length; ++i)
        if (filter[i] == '|') filter[i] = '\0';
}

void showErrorText(HWND owner, const wchar_t *text) {
    MessageBoxW(owner, text, L"Korvane", MB_ICONERROR | MB_OK);
}

void showError(HWND owner, UINT id, const char *detail) {
    wchar_t text[2048];
    loadText(id, text, 2048);
    if (detail && detail[0]) appendAnsiLine(text, 2048, detail);
    showErrorText(owner, text);
}
