// The device settings dialog: driver, sample rate, MIDI ports, tempo, the driver's
// control panel and the channel routing dialog. Every change takes effect at once.
#pragma once

#include <windows.h>

#include "audio/asio.h"
#include "audio/engine_state.h"

void runSettingsDialog(HWND owner);

// The dialog while it is open, null otherwise.
extern HWND gSettingsDialog;

struct RateChoices {
    int rates[kOfferedRateCount + 1];
    int count;
    int selected;  // index into rates
};

// The offered rates the driver supports, in order; the engine rate is selected, and
// appended when it is not among them.
RateChoices sampleRateChoices(ASIOError (*canSampleRate)(ASIOSampleRate), int engineRate);

// The tempo typed into the edit: a decimal number clamped to 10 ... 500.
int tempoFromText(const char *text);

// Fills the sample-rate list of the dialog from the current driver.
void refillSampleRateList(HWND list);
