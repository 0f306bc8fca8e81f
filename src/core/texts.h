// The texts the program shows, taken from the string tables of the user's language
// (English and Chinese resources carry the same ids). GUI thread.
#pragma once

#include <windows.h>

#include <cstddef>

// Copies the text with this id into text (size characters, always terminated);
// returns its length, 0 when the id has no text.
int loadText(UINT id, wchar_t *text, int size);

// Formats the text with this id as a printf format taking only numbers.
void formatText(wchar_t *text, size_t size, UINT id, ...);

// Appends a new line and the text to the buffer, as far as it has room.
void appendLine(wchar_t *text, size_t size, const wchar_t *line);
// The same for a text in the system's ANSI code page (a driver's or a path).
void appendAnsiLine(wchar_t *text, size_t size, const char *line);

// The same for the system's own text for an error code (nothing for 0 or a code the
// system has no text for).
void appendSystemReason(wchar_t *text, size_t size, DWORD error);

// Adds the text with this id to a combo or list box with the given message
// (CB_ADDSTRING, CB_INSERTSTRING at the end, or LB_ADDSTRING).
void addListText(HWND list, UINT message, UINT id);

// A file dialog filter from a text whose parts are separated by '|': in the ANSI
// code page, each part zero-terminated and the whole ending in an empty part.
void loadFilter(UINT id, char *filter, int size);

// Message box owned by owner (may be null): caption "Korvane", error icon, OK.
void showErrorText(HWND owner, const wchar_t *text);
// The text with this id, followed on a new line by detail when it is not empty.
void showError(HWND owner, UINT id, const char *detail = nullptr);
