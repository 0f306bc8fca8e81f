// The two capture files that hold a recording, the capture ring's producer side
// (the tap, on the driver's thread) and the writer thread that drains the ring
// into the files.
#pragma once

#include <windows.h>

#include <cstdint>

#include "audio/engine_state.h"

// Raw 32-bit floats, one channel each, created in engine set-up in the TMP folder
// and deleted by the system when closed. Both always hold gCaptureFramesWritten
// frames: a block counts only once it reached both files.
extern HANDLE gCaptureLeft;
extern HANDLE gCaptureRight;
// Written only by the writer thread (reset when a writer starts); gRecordedFrames is
// the same count stopped at LONG_MAX.
extern volatile LONGLONG gCaptureFramesWritten;
// The frames of the last recording both capture files hold, whole (any thread).
inline uint64_t recordedFramesForRecovery() {
    return (uint64_t)InterlockedCompareExchange64(&gCaptureFramesWritten, 0, 0);
}
// Auto-reset, unnamed: the tap signals data-ready after each block; the stop event
// asks the writer to end.
extern HANDLE gDataReadyEvent;
extern HANDLE gStopEvent;
// The last writer thread started (null before the first recording).
extern HANDLE gWriterThread;

// What the last recording lost, for the notice after it stops. Written by the
// driver's thread (tap) and the writer thread, reset when a writer starts.
extern volatile LONG gCaptureLostBlocks;  // blocks overwritten or discarded unwritten
extern volatile LONG gCaptureLostFrames;  // the frames of those blocks
extern volatile LONG gCaptureTappedBlocks;  // blocks the tap took while recording
extern volatile LONG gCaptureWriteFailed;   // a capture file refused a write (disk full)

// Writes one whole block to a capture file; false unless every byte was written.
// The platform's WriteFile by default; tests put a refusing writer here to act as
// a full disk.
extern bool (*gCaptureWrite)(HANDLE file, const void *data, DWORD bytes);

// Creates both capture files and both events (engine set-up).
void createCaptureFiles();
// Closes the events and the files (shutdown); the files delete themselves.
void closeCaptureFiles();

// Frames in a capture file: its 64-bit size / 4.
uint64_t captureFileFrames(HANDLE file);

// Truncates both files to 0 and resets counters and events, then starts the writer
// thread at the highest priority. False when the thread cannot be started.
bool startCaptureWriter();
// Signals the stop event and, when a writer thread exists, waits for it to end.
// GUI thread.
void stopCaptureWriter();

// The writer thread's procedure (started by startCaptureWriter).
DWORD WINAPI captureWriterThread(void *);

// Copies n frames of the two recorded channels (null = silence) into a free ring
// slot, overwriting a full one when none is free. Driver thread: no waits, no
// allocation, one event signal.
void captureTap(const float *left, const float *right, int frames);

// Adds the full slots of a ring that is about to be freed to the lost counters.
void countDiscardedCaptureBlocks(const CaptureSlot *slots, int32_t count);
