// Transport flags and counters shared by the GUI, driver and writer threads.
#pragma once

#include <windows.h>

#include <climits>

#include "core/app_state.h"  // gStatusDirty

extern volatile LONG gPlaying;
extern volatile LONG gRecording;
// Both stop at LONG_MAX frames (12.4 hours at 48 kHz) rather than wrap; the capture
// files keep their exact length in gCaptureFramesWritten.
extern volatile LONG gTransportPos;   // frames
extern volatile LONG gRecordedFrames; // frames written to the capture files
// Set once the recording was saved completely, cleared by the record command (GUI
// thread): after a fault a saved recording is not written out again.
extern volatile LONG gRecordingSaved;
// Set when record was asked for with no driver open, cleared once one is open (GUI
// thread): the status line then says that recording needs a driver.
extern volatile LONG gRecordNeedsDriver;

// A frame count for the counters above: LONG_MAX when it does not fit.
inline LONG saturatedFrames(unsigned long long frames) { return frames > LONG_MAX ? LONG_MAX : (LONG)frames; }
