#include "support/status_strip.h"

#include <windows.h>

#include <cstring>

#include "audio/engine_state.h"
#include "audio/stream.h"
#include "engine/status_line.h"
#include "engine/transport_state.h"
#include "core/app_state.h"

namespace testing_support {

StatusShown noDriverStatusAt(int windowWidth, bool recordAsked, const char *missingDriver) {
    const int kCpuMeterWidth = 68, kStripHeight = 18;
    StatusShown shown = {L"", 0, windowWidth - kCpuMeterWidth};
    HWND line = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | SS_CENTERIMAGE, 0, 0, shown.lineWidth, kStripHeight,
                                nullptr, nullptr, nullptr, nullptr);
    if (!line) return shown;
    HFONT font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    SendMessageW(line, WM_SETFONT, (WPARAM)font, FALSE);

    HWND savedLine = gStatusLine;
    gStatusLine = line;
    gAudioStopped = gRecorder.recording = gRecorder.playing = gDriverOpen = 0;
    gRecorder.recordNeedsDriver = recordAsked ? 1 : 0;
    strncpy(gMissingDriver, missingDriver ? missingDriver : "", kDriverNameSize - 1);
    gMissingDriver[kDriverNameSize - 1] = '\0';
    updateStatusLine();
    gStatusLine = savedLine;
    gRecorder.recordNeedsDriver = 0;
    gMissingDriver[0] = '\0';

    wchar_t text[512] = L"";
    GetWindowTextW(line, text, 512);
    shown.text = text;
    HDC dc = GetDC(line);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent = {};
    GetTextExtentPoint32W(dc, text, (int)wcslen(text), &extent);
    SelectObject(dc, old);
    ReleaseDC(line, dc);
    DestroyWindow(line);
    shown.textWidth = extent.cx;
    return shown;
}

}  // namespace testing_support
