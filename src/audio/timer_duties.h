// The driver's share of the main window's 40 ms timer, called in this order:
// serve a driver-reset request, apply a pending sample rate, update the CPU meter.
// While an export runs the first two wait (their requests are kept). GUI thread only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cwchar>

void serveDriverReset(HWND mainWindow);
void applyPendingSampleRate();
// cpuLoad: the block processing's latest figure, in percent (shown as 0 while
// sound is switched off).
void updateCpuDisplay(HWND cpuMeter, float cpuLoad);

// Last value written to the CPU meter; -1.0 at start, so the first tick writes.
extern float gShownCpuLoad;

// When load differs from *shown: formats the meter's text ("CPU: %.1f%%" in
// English) into text, makes load the shown value and returns true.
inline bool nextCpuMeterText(float load, float *shown, const wchar_t *format, wchar_t *text, size_t size) {
    if (load == *shown) return false;
    _snwprintf(text, size, format, double(load));
    text[size - 1] = L'\0';
    *shown = load;
    return true;
}
