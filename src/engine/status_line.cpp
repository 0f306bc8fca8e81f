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

void updateStatusLine() {
    gStatusDirty = 0;
    StatusTexts texts;
    loadStatusTexts(&texts);
    statusLineText(gStatusText, sizeof gStatusText / sizeof gStatusText[0], texts.formats(), gAudioStopped != 0,
                   gRecording != 0, gPlaying != 0, gDriverOpen != 0, gRecordedFrames, gTransportPos,
                   gEngine.sampleRate);
    if (gStatusLine) SetWindowTextW(gStatusLine, gStatusText);
}
