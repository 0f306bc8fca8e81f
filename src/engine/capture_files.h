// The two capture files that hold a recording, the capture ring's producer side
// (the tap, on the driver's thread) and the writer thread that drains the ring
// into the files.
#pragma once

#include <windows.h>

#include <cstdint>

#include "audio/engine_state.h"

// The capture ring never has fewer slots than this, and enough to hold
// kCaptureRingMs of audio at the engine's rate (see captureSlotCount).
const int kCaptureSlots = 8;
const int kCaptureRingMs = 500;
const int kMaxCaptureSlots = 1 << 16;

// One slot of the capture ring. state: kSlotFree, kSlotFull (holds a block not yet
// written) or kSlotWriting (the capture writer is writing it). Only the capture
// tap moves a slot out of kSlotFree or takes a full slot back (overwriting it);
// only the writer moves kSlotFull to kSlotWriting and kSlotWriting to kSlotFree.
const LONG kSlotFree = 0;
const LONG kSlotFull = 1;
const LONG kSlotWriting = 2;
struct CaptureSlot {
    volatile LONG state;
    volatile ULONG stamp;   // block counter of the block in the slot
    volatile LONG frames;   // frames in the slot's two blocks
};

// The capture ring: slotCount slots, each with a left and a right block of the
// engine's buffer frames (not cleared on allocation). Sized with the engine buffers
// (installEngine hands allocateCaptureRing and freeCaptureRing to them).
struct CaptureRing {
    int32_t slotCount;
    float **left;
    float **right;
    CaptureSlot *slots;
    uint64_t *order;  // the writer's scratch list, one entry per slot
};
extern CaptureRing gCaptureRing;

// Slots the capture ring needs for blocks of this many frames at this rate: enough
// for kCaptureRingMs of audio, never fewer than kCaptureSlots.
int32_t captureSlotCount(int32_t sampleRate, int32_t frames);

// Bytes of the one block holding every slot's two blocks of this many frames; 0
// (refused) past kMaxCaptureRingBytes, which no sane rate and block size reach.
const uint64_t kMaxCaptureRingBytes = 256ull << 20;
uint64_t captureRingBytes(int32_t slots, int32_t frames);

// Allocates the ring for blocks of frames at this rate (captureSlotCount slots, all
// free); false when an allocation failed or the size is refused (freeCaptureRing
// then frees what was made). GUI thread, engine gate closed.
bool allocateCaptureRing(int32_t frames, int32_t sampleRate);
// Frees the ring; blocks a recording had not yet written are counted as lost.
void freeCaptureRing();

// Raw 32-bit floats, one channel each, created in engine set-up in the TMP folder
// with their info file (see capture_take.h): deleted by the system when closed,
// unless they hold a recording not yet saved. Both always hold
// gCaptureFramesWritten frames: a block counts only once it reached both files.
extern HANDLE gCaptureLeft;
extern HANDLE gCaptureRight;
// Written only by the writer thread (reset when a writer starts); gRecorder.recordedFrames is
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

// Pushes what the writer wrote to a capture file out to the disk; the platform's
// FlushFileBuffers by default (the soak benchmark times it here).
extern bool (*gCaptureFlush)(HANDLE file);
// While it writes, the writer flushes both capture files at least this often, and
// once more as it ends: a power cut loses no more than this and the ring.
const DWORD kCaptureFlushMs = 1000;
// How long the writer may wait for the next block before it must flush: INFINITE
// when everything written is flushed, else what is left of kCaptureFlushMs since the
// last flush (0: flush now).
DWORD captureFlushWait(bool unflushed, DWORD sinceFlushMs);

// Why the capture files could not be made: the file or folder tried and the
// system's error code.
struct CaptureFilesFailure {
    char path[MAX_PATH + 32];
    DWORD error;
};

// Creates both events and, when they are missing, both capture files with their
// info: at engine set-up, and again before a recording when they could not be made
// before. False when the files could not be made; failure (may be null) then says
// where and why.
bool createCaptureFiles(CaptureFilesFailure *failure = nullptr);
// Closes the events and the files (shutdown); the files delete themselves unless
// they hold a recording not yet saved.
void closeCaptureFiles();

// Frames in a capture file: its 64-bit size / 4.
uint64_t captureFileFrames(HANDLE file);

// Truncates both files to 0, resets counters and events and marks the files as
// holding an unsaved recording at the engine's rate, raises the recording flag (the
// tap starts) and starts the writer thread at the highest priority. False, the flag
// cleared again, when the thread cannot be started. GUI thread.
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

// The stamp of the last block the tap made full (0 before the first). The tap
// fills blocks in stamp order, so every block up to it is full once it is read.
extern volatile LONG gCapturePublished;

// The writer's list for one pass, oldest first: the full slots whose blocks were
// published up to `published` (seen before the scan), as (age rank << 32 | slot).
// A slot full with a later block is left for the next pass: the tap may fill a
// lower-numbered slot with an older block while the scan passes it, and writing
// the newer one first would put the two out of order. Returns the count.
int32_t collectWritableSlots(const CaptureSlot *slots, int32_t count, ULONG published, uint64_t *order);

// Adds the full slots of a ring that is about to be freed to the lost counters.
void countDiscardedCaptureBlocks(const CaptureSlot *slots, int32_t count);
