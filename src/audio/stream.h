// Opening the chosen ASIO driver for streaming and re-opening the engine around
// every reconfiguration of the audio device. GUI thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "audio/driver_connection.h"

// 1 while a driver is open and streaming for the engine; written by the GUI thread.
extern volatile LONG gDriverOpen;

// Closes the stream and, when a driver is chosen, opens it again at the engine's
// rate, sizes the engine buffers and tells the plugin; all behind the engine gate.
// A failure shows "Failed to initialize ASIO driver." owned by mainWindow, with the
// driver's own error text on a new line when its init failed and it gave one.
void reopenEngine(HWND mainWindow);

// 1 when the named driver was set up and started, 0 otherwise (the caller then
// closes the stream to take down what was set up).
int openStream(HWND window, const char *name, double sampleRate);

// stop, disposeBuffers, exit; harmless without a driver. Returns 0.
int closeStream();

// The driver's own explanation of a failed init, "" when its init did not fail or it
// gave none.
const char *driverInitError(const DriverInfo &info);

// Zeroes the given half of every driver output buffer.
void clearOutputBuffers(long half);

// The work done for each block on the driver's thread, handed in by the engine at
// start-up (installEngine): non-zero when the block was processed. Unset, every
// block gives silence.
extern int (*gStreamBlockWork)(int frames);

// Set by the device settings dialog while it is open, null otherwise: called after
// each re-open with whether the driver opened, to enable or disable the dialog's
// sample-rate list, control-panel button and channels button and refill its rates.
extern void (*gSettingsDialogRefresh)(bool opened);

// Non-zero while the GUI thread is inside a re-open or a driver call that may run a
// message loop (a driver's message box, its control panel). The 40 ms timer and a
// nested re-open must not replace the driver then: they leave a reset request,
// served once the call has returned.
extern volatile LONG gDriverCallDepth;

// ---- steps of the set-up, taking their inputs as arguments ----

struct SampleRateOps {
    ASIOError (*canSampleRate)(ASIOSampleRate rate);
    ASIOError (*setSampleRate)(ASIOSampleRate rate);
    ASIOError (*getSampleRate)(ASIOSampleRate *rate);
};

// Tries the requested rate, then 44100, then whatever the driver runs at; the
// first that works leaves the driver's rate in *rate. False if all three fail.
bool settleSampleRate(const SampleRateOps &ops, ASIOSampleRate requested, ASIOSampleRate *rate);

// A driver's rate as the engine's integer rate: truncated; 0 for anything that is
// not a positive rate below 2^31 (NaN included).
int32_t engineRateFrom(ASIOSampleRate rate);

// Sets the buffer counts (channels, at most 128 each) and the buffer infos: inputs
// first, then outputs, buffer pointers null.
void prepareBufferInfos(DriverInfo *info);

// True when the driver set both halves of every buffer in use.
bool buffersComplete(const DriverInfo &info);
