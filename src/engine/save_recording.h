// Saving a recording as a stereo WAV file, and the bit-depth combo that template
// 107 places inside the system's save dialog.
#pragma once

#include <windows.h>

#include <cstdint>

#include "engine/wav_writer.h"

// 0 = 16-bit, 1 = 24-bit, 2 = 32-bit float; 0 at start, kept for the run.
extern int gBitDepthChoice;

// Hook of the save dialog's child template: fills the combo and keeps the choice.
UINT_PTR CALLBACK bitDepthHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

enum SaveResult { kSaveDone = 0, kSaveCannotCreate, kSaveNoMemory, kSaveReadFailed, kSaveWriteFailed };

// The caller's buffers for copyCaptureToWav (the crash recovery has no heap to
// use): frames floats for each channel and frames * 8 bytes for the interleaved
// frames (the widest, stereo float).
struct WavCopyBuffers {
    float *left;
    float *right;
    uint8_t *out;
    uint32_t frames;
};

// Writes, at out's position, the WAV header for `frames` stereo frames in the depth
// and then the frames of the two capture files read from their start, a pass of
// buffers.frames frames at a time. What a capture file cannot deliver (an invalid
// handle: nothing) becomes silence when silenceShortReads, else fails the copy with
// kSaveReadFailed. A
// failed write gives kSaveWriteFailed with the system's code in *systemError (may be
// null). progress (may be null) is raised after every pass.
SaveResult copyCaptureToWav(HANDLE out, HANDLE left, HANDLE right, uint64_t frames, WavDepth depth, int sampleRate,
                            const WavCopyBuffers &buffers, bool silenceShortReads, volatile LONG *progress,
                            DWORD *systemError);

// Writes the two capture files as one interleaved WAV at path, in passes of 4096
// frames. The file is first written under a temporary name in the same folder and
// moved over path only when complete, so a failed save leaves path as it was.
// *systemError (may be null) receives the system's code of a failed create, write
// or move, 0 otherwise.
SaveResult saveCaptureAsWav(HANDLE left, HANDLE right, const char *path, WavDepth depth, int sampleRate,
                            DWORD *systemError = nullptr);

// The message of a failed save: one string-table id per result (0 for kSaveDone).
unsigned saveFailureText(SaveResult result);

// "Save to computer..." (command 40009): the save dialog, then the save; a failure
// is reported in a message box.
void saveRecordingCommand(HWND window);
