#include "engine/status_line.h"

#include <windows.h>

#include <cwchar>

#include "audio/engine_state.h"
#include "audio/stream.h"
#include "core/app_state.h"
#include "core/texts.h"
#include "engine/transport_state.h"
#include "resources/resource_ids.h"

void statusLineText(wchar_t *text, size_t size, const StatusFormats &formats, bool audioStopped, bool recording,
                    bool playing, bool driverOpen, long recordedFrames, long transportPosition, int sampleRate) {
    if (size == 0) return;
    double rate = sampleRate != 0 ? (double)sampleRate : 1.0;  // a rate of 0 never divides
    int written = 0;
    if (audioStopped)
        written = _snwprintf(text, size, L"%ls", formats.audioStopped);
    else if (recording)
        written = _snwprintf(text, size, formats.recording, recordedFrames / rate);
    else if (playing)
        written = _snwprintf(text, size, formats.playing, transportPosition / rate, recordedFrames / rate);
    else if (!driverOpen)
        written = _snwprintf(text, size, L"%ls", formats.noDriver);
    else
        text[0] = L'\0';
    if (written < 0 || (size_t)written >= size) text[size - 1] = L'\0';
}

void loadStatusTexts(StatusTexts *texts) {
    loadText(IDS_AUDIO_STOPPED, texts->audioStopped, 128);
    loadText(IDS_RECORDING_STATUS, texts->recording, 128);
    loadText(IDS_PLAYING_STATUS, texts->playing, 128);
    loadText(IDS_NO_DRIVER_STATUS, texts->noDriver, 256);
}

NoDriverReason noDriverReason(bool recordAsked, const char *missingDriver) {
    if (recordAsked) return kRecordNeedsDriver;
    return missingDriver && missingDriver[0] ? kChosenDriverMissing : kNoDriverChosen;
}

void noDriverText(wchar_t *text, size_t size, NoDriverReason reason, int form, const char *missingDriver) {
    static const UINT kForms[][kNoDriverForms] = {
        {IDS_NO_DRIVER_STATUS, IDS_NO_DRIVER_SHORT, IDS_NO_DRIVER_SHORT},
        {IDS_DRIVER_MISSING_STATUS, IDS_DRIVER_MISSING_SHORT, IDS_DRIVER_MISSING_NAME},
        {IDS_RECORD_NEEDS_DRIVER, IDS_RECORD_NEEDS_DRIVER_SHORT, IDS_RECORD_NEEDS_DRIVER_SHORT},
    };
    if (size == 0) return;
    if (form < 0) form = 0;
    if (form >= kNoDriverForms) form = kNoDriverForms - 1;
    UINT id = kForms[reason][form];
    if (reason != kChosenDriverMissing) {
        loadText(id, text, (int)size);
        return;
    }
    wchar_t name[kDriverNameSize] = L"";
    if (missingDriver && !MultiByteToWideChar(CP_ACP, 0, missingDriver, -1, name, kDriverNameSize)) name[0] = L'\0';
    name[kDriverNameSize - 1] = L'\0';
    wchar_t format[256];
    loadText(id, format, 256);
    int written = _snwprintf(text, size, format, name);
    if (written < 0 || (size_t)written >= size) text[size - 1] = L'\0';
}

namespace {

// Whether the text fits the window's width in the window's font.
bool fitsWidth(HWND window, const wchar_t *text) {
    RECT client;
    HDC dc = GetDC(window);
    if (!dc || !GetClientRect(window, &client)) {
        if (dc) ReleaseDC(window, dc);
        return true;
    }
    HGDIOBJ old = SelectObject(dc, (HGDIOBJ)SendMessageW(window, WM_GETFONT, 0, 0));
    SIZE extent = {};
    BOOL measured = GetTextExtentPoint32W(dc, text, (int)wcslen(text), &extent);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return !measured || extent.cx <= client.right - client.left;
}

}  // namespace

void updateStatusLine() {
    gStatusDirty = 0;
    if (gDriverOpen) gRecorder.recordNeedsDriver = 0;
    StatusTexts texts;
    loadStatusTexts(&texts);
    StatusFormats formats = texts.formats();
    NoDriverReason reason = noDriverReason(gRecorder.recordNeedsDriver != 0, gMissingDriver);
    wchar_t noDriver[512];
    for (int form = 0; form < kNoDriverForms; ++form) {
        noDriverText(noDriver, 512, reason, form, gMissingDriver);
        formats.noDriver = noDriver;
        statusLineText(gStatusText, sizeof gStatusText / sizeof gStatusText[0], formats, gAudioStopped != 0,
                       gRecorder.recording != 0, gRecorder.playing != 0, gDriverOpen != 0, gRecorder.recordedFrames, gRecorder.transportPos,
                       gEngine.sampleRate);
        if (!gStatusLine || fitsWidth(gStatusLine, gStatusText)) break;
    }
    if (gStatusLine) SetWindowTextW(gStatusLine, gStatusText);
}
