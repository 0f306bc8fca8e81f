// Transport flags and counters shared by the GUI, driver and writer threads.
#pragma once

#include <windows.h>

extern volatile LONG gPlaying;
extern volatile LONG gRecording;
extern volatile LONG gTransportPos;   // frames
extern volatile LONG gRecordedFrames; // frames written to the capture files
extern volatile LONG gStatusDirty;
// Set once the recording was saved completely, cleared by the record command (GUI
// thread): after a fault a saved recording is not written out again.
extern volatile LONG gRecordingSaved;
