// Saving a recording as a stereo WAV file, and the bit-depth combo that template
// 107 places inside the system's save dialog.
#pragma once

#include <windows.h>

#include "engine/wav_writer.h"

// 0 = 16-bit, 1 = 24-bit, 2 = 32-bit float; 0 at start, kept for the run.
extern int gBitDepthChoice;

// Hook of the save dialog's child template: fills the combo and keeps the choice.
UINT_PTR CALLBACK bitDepthHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

enum SaveResult { kSaveDone = 0, kSaveCannotCreate, kSaveNoMemory, kSaveReadFailed, kSaveWriteFailed };

// Writes the two capture files as one interleaved WAV at path, in passes of 4096
// frames. The file is first written under a temporary name in the same folder and
// moved over path only when complete, so a failed save leaves path as it was.
SaveResult saveCaptureAsWav(HANDLE left, HANDLE right, const char *path, WavDepth depth, int sampleRate);

// "Save to computer..." (command 40009): the save dialog, then the save; a failure
// is reported in a message box.
void saveRecordingCommand(HWND window);
