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

// Why no driver runs, as the status line tells it.
enum NoDriverReason { kNoDriverChosen, kChosenDriverMissing, kRecordNeedsDriver };
NoDriverReason noDriverReason(bool recordAsked, const char *missingDriver);

// The status line's no-driver text for the reason in one of its forms, from the
// longest (0) to the shortest (kNoDriverForms - 1), for a status line too narrow for
// the longer ones; a reason with fewer forms repeats its shortest. The name of the
// missing driver, in the ANSI code page, goes into its text.
const int kNoDriverForms = 3;
void noDriverText(wchar_t *text, size_t size, NoDriverReason reason, int form, const char *missingDriver);

// Called by the 40 ms timer while the status-dirty flag is set. The text is the
// longest form that fits the status line's width, else the shortest.
void updateStatusLine();
