#include "engine/status_line.h"

#include <windows.h>

#include <cstdio>

#include "audio/engine_state.h"
#include "engine/transport_state.h"
#include "shell/app_state.h"

void statusLineText(char *text, size_t size, bool audioStopped, bool recording, bool playing, long recordedFrames,
                    long transportPosition, int sampleRate) {
    if (size == 0) return;
    double rate = sampleRate != 0 ? (double)sampleRate : 1.0;  // a rate of 0 never divides
    if (audioStopped)
        snprintf(text, size, "Audio Stopped");
    else if (recording)
        snprintf(text, size, "Recording: %3.1f seconds", recordedFrames / rate);
    else if (playing)
        snprintf(text, size, "Playing: %3.1f of %3.1f seconds", transportPosition / rate, recordedFrames / rate);
    else
        text[0] = '\0';
}

void updateStatusLine() {
    gStatusDirty = 0;
    statusLineText(gStatusText, sizeof gStatusText, gAudioStopped != 0, gRecording != 0, gPlaying != 0,
                   gRecordedFrames, gTransportPos, gEngine.sampleRate);
    if (gStatusLine) SetWindowTextA(gStatusLine, gStatusText);
}
