// The recorder's state that the GUI, driver and writer threads share: plain aligned
// 32-bit values, each written only by the threads named beside it (any thread reads).
#pragma once

#include <windows.h>

#include <climits>

#include "core/app_state.h"  // gStatusDirty

struct RecorderState {
    // Raised by the record command (GUI thread) before the writer thread starts;
    // cleared by the writer thread as it ends (stopped, or a capture file refused a
    // write). The block processing taps the outputs while it is set.
    volatile LONG recording;
    // Set by the play command (GUI thread); cleared by the GUI thread (stop, sound
    // off, close) or by the driver thread once playback reaches the recording's end.
    volatile LONG playing;
    // Frames recorded or played so far: advanced by the driver thread while recording
    // or playing, reset by the GUI thread while neither runs. Stops at LONG_MAX frames
    // (12.4 hours at 48 kHz) rather than wrap.
    volatile LONG transportPos;
    // Frames written to the capture files (writer thread; reset by the record command
    // before the writer starts), stopped at LONG_MAX; the capture files keep their
    // exact length in gCaptureFramesWritten.
    volatile LONG recordedFrames;
    // Set once the recording was saved completely (GUI thread), cleared by the record
    // command: after a fault a saved recording is not written out again.
    volatile LONG recordingSaved;
    // Set when record was asked for with no driver open, cleared once one is open
    // (GUI thread): the status line then says that recording needs a driver.
    volatile LONG recordNeedsDriver;
    // Blocks processed since the program started: driver thread only, never reset. It
    // stamps the blocks the recording taps, so the writer writes them in order.
    volatile ULONG blockCounter;
};

extern RecorderState gRecorder;

// A frame count for the counters above: LONG_MAX when it does not fit.
inline LONG saturatedFrames(unsigned long long frames) { return frames > LONG_MAX ? LONG_MAX : (LONG)frames; }
