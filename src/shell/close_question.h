// Closing the main window while a recording is not saved (or still being recorded)
// asks first: Save opens the save dialog, Don't save discards the recording, Cancel
// keeps the program running.
#pragma once

#include <windows.h>

#include <cstdint>

// Whether closing now would lose a recording: one is being recorded, or one with
// frames in it was recorded and not saved.
bool recordingWouldBeLost(bool recording, uint64_t recordedFrames, bool saved);

// The main window's WM_CLOSE: true when the window may close (nothing to lose, the
// recording was saved, or the user chose not to keep it).
bool confirmClose(HWND window);
