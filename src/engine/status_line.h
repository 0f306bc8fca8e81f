// The status line along the bottom of the main window.
#pragma once

#include <cstddef>

// The status texts of the user's language; recording and playing are printf formats
// taking seconds as doubles.
struct StatusFormats {
    const wchar_t *audioStopped;
    const wchar_t *recording;  // one number: recorded seconds
    const wchar_t *playing;    // two numbers: position and recorded seconds
    const wchar_t *noDriver;
};

// The status texts of the program's string table, with room for them.
struct StatusTexts {
    wchar_t audioStopped[128], recording[128], playing[128], noDriver[256];
    StatusFormats formats() const { return {audioStopped, recording, playing, noDriver}; }
};
void loadStatusTexts(StatusTexts *texts);

// The text for the current state, in order of precedence: audio stopped, recording,
// playing, no driver open, else empty. Seconds are frames / rate.
void statusLineText(wchar_t *text, size_t size, const StatusFormats &formats, bool audioStopped, bool recording,
                    bool playing, bool driverOpen, long recordedFrames, long transportPosition, int sampleRate);

// Called by the 40 ms timer while the status-dirty flag is set.
void updateStatusLine();
