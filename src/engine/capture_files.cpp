// The capture files, the capture ring's two sides and the writer thread.
//
// The ring's slot states keep the two sides apart without a lock: the tap (driver
// thread) fills a free slot and publishes it as full; the writer claims a full slot
// (full -> writing) before writing it, so the tap can never overwrite a block while
// it is being written; when every slot is full the tap takes back the lowest full
// slot that is not being written and counts the block in it as lost. The writer
// writes the blocks it finds oldest first (by stamp) and counts a block as recorded
// only once both files took it whole.
#include "engine/capture_files.h"

#include <stdio.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/gate.h"
#include "core/raw_file.h"
#include "engine/block_processing.h"
#include "engine/capture_take.h"
#include "engine/transport_state.h"

HANDLE gCaptureLeft = INVALID_HANDLE_VALUE;
HANDLE gCaptureRight = INVALID_HANDLE_VALUE;
HANDLE gDataReadyEvent = nullptr;
HANDLE gStopEvent = nullptr;
HANDLE gWriterThread = nullptr;
volatile LONGLONG gCaptureFramesWritten = 0;
volatile LONG gCaptureLostBlocks = 0;
volatile LONG gCaptureLostFrames = 0;
volatile LONG gCaptureTappedBlocks = 0;
volatile LONG gCaptureWriteFailed = 0;
volatile LONG gCapturePublished = 0;
CaptureRing gCaptureRing = {0, nullptr, nullptr, nullptr, nullptr};

int32_t captureSlotCount(int32_t sampleRate, int32_t frames) {
    if (frames <= 0 || sampleRate <= 0) return kCaptureSlots;
    int64_t wanted = ((int64_t)sampleRate * kCaptureRingMs / 1000 + frames - 1) / frames;
    if (wanted < kCaptureSlots) return kCaptureSlots;
    return wanted > kMaxCaptureSlots ? kMaxCaptureSlots : (int32_t)wanted;
}

uint64_t captureRingBytes(int32_t slots, int32_t frames) {
    if (slots <= 0 || frames <= 0) return 0;
    uint64_t bytes = (uint64_t)slots * 2 * (uint64_t)frames * sizeof(float);
    static_assert(kMaxCaptureRingBytes <= SIZE_MAX, "the ring's size fits a size_t");
    return bytes > kMaxCaptureRingBytes ? 0 : bytes;
}

// The ring in four allocations: the slot records (cleared: all free), the two
// pointer lists, and one block of memory for every slot's two blocks.
bool allocateCaptureRing(int32_t frames, int32_t sampleRate) {
    int32_t slots = captureSlotCount(sampleRate, frames);
    uint64_t ringBytes = captureRingBytes(slots, frames);
    if (!ringBytes) return false;  // a driver's absurd rate or block size
    gCaptureRing.slots = static_cast<CaptureSlot *>(std::calloc((size_t)slots, sizeof(CaptureSlot)));
    gCaptureRing.order = static_cast<uint64_t *>(std::malloc((size_t)slots * sizeof(uint64_t)));
    gCaptureRing.left = static_cast<float **>(std::calloc((size_t)slots * 2, sizeof(float *)));
    float *blocks = static_cast<float *>(std::malloc((size_t)ringBytes));
    if (!gCaptureRing.slots || !gCaptureRing.order || !gCaptureRing.left || !blocks) {
        std::free(blocks);
        return false;
    }
    gCaptureRing.right = gCaptureRing.left + slots;
    for (int32_t s = 0; s < slots; ++s) {
        gCaptureRing.left[s] = blocks + (size_t)s * 2 * (size_t)frames;
        gCaptureRing.right[s] = gCaptureRing.left[s] + frames;
    }
    gCaptureRing.slotCount = slots;
    return true;
}

void freeCaptureRing() {
    // Blocks a recording had not yet written are lost with the ring.
    if (gCaptureRing.slots) countDiscardedCaptureBlocks(gCaptureRing.slots, gCaptureRing.slotCount);
    gCaptureRing.slotCount = 0;
    if (gCaptureRing.left) std::free(gCaptureRing.left[0]);
    std::free(gCaptureRing.left);
    std::free(gCaptureRing.slots);
    std::free(gCaptureRing.order);
    gCaptureRing.left = gCaptureRing.right = nullptr;
    gCaptureRing.slots = nullptr;
    gCaptureRing.order = nullptr;
}

int32_t collectWritableSlots(const CaptureSlot *slots, int32_t count, ULONG published, uint64_t *order) {
    int32_t found = 0;
    for (int32_t s = 0; s < count; ++s) {
        if (slots[s].state != kSlotFull) continue;
        ULONG age = published - slots[s].stamp;  // 0 for the last block published
        if (age > 0x7FFFFFFFul) continue;        // published after `published` was read
        order[found++] = (uint64_t)(0x7FFFFFFFul - age) << 32 | (uint32_t)s;
    }
    std::sort(order, order + found);
    return found;
}

namespace {

void addLost(LONG frames) {
    InterlockedIncrement(&gCaptureLostBlocks);
    InterlockedExchangeAdd(&gCaptureLostFrames, frames);
}

// One pass over the ring with the capture lock held: writes every block that is full
// now, oldest first. False when a capture file refused a write; both files are then
// cut back to the frames recorded so far.
bool writeFullSlots() {
    CaptureSlot *slots = gCaptureRing.slots;
    uint64_t *order = gCaptureRing.order;
    int32_t slotCount = gCaptureRing.slotCount;
    if (!slots || !order) return true;
    // Read before the scan: every block up to it is full by now (or was taken back).
    const ULONG published = (ULONG)InterlockedCompareExchange(&gCapturePublished, 0, 0);
    int32_t count = collectWritableSlots(slots, slotCount, published, order);
    for (int32_t k = 0; k < count; ++k) {
        int32_t s = (int32_t)(uint32_t)order[k];
        if (InterlockedCompareExchange(&slots[s].state, kSlotWriting, kSlotFull) != kSlotFull) continue;  // taken back
        if ((LONG)(slots[s].stamp - published) > 0) {
            // Taken back and refilled since the scan: a newer block, for the next pass.
            InterlockedExchange(&slots[s].state, kSlotFull);
            continue;
        }
        LONG frames = slots[s].frames;
        DWORD bytes = (DWORD)frames * sizeof(float);
        if (!gCaptureWrite(gCaptureLeft, gCaptureRing.left[s], bytes) ||
            !gCaptureWrite(gCaptureRight, gCaptureRing.right[s], bytes)) {
            uint64_t kept = (uint64_t)gCaptureFramesWritten * sizeof(float);
            truncateFile(gCaptureLeft, kept);
            truncateFile(gCaptureRight, kept);
            InterlockedExchange(&slots[s].state, kSlotFree);
            gCaptureWriteFailed = 1;
            return false;
        }
        // Only this thread changes the count; the exchange stores all 64 bits at once
        // for readers on other threads (the 32-bit build).
        LONGLONG total = gCaptureFramesWritten + frames;
        InterlockedExchange64(&gCaptureFramesWritten, total);
        gRecorder.recordedFrames = saturatedFrames((uint64_t)total);
        InterlockedExchange(&slots[s].state, kSlotFree);
    }
    return true;
}

}  // namespace

bool (*gCaptureWrite)(HANDLE file, const void *data, DWORD bytes) = writeAll;

bool createCaptureFiles(CaptureFilesFailure *failure) {
    if (!gDataReadyEvent) gDataReadyEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!gStopEvent) gStopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (gCaptureLeft != INVALID_HANDLE_VALUE && gCaptureRight != INVALID_HANDLE_VALUE) return true;
    // Both capture files and their info are made together, or none of them.
    TakeFiles take;
    char path[MAX_PATH + 32];
    DWORD error = 0;
    if (!createTakeFiles(&take, path, sizeof path, &error)) {
        if (failure) {
            snprintf(failure->path, sizeof failure->path, "%s", path);
            failure->error = error;
        }
        return false;
    }
    gCaptureLeft = take.file[kTakeLeft];
    gCaptureRight = take.file[kTakeRight];
    gCaptureInfo = take.file[kTakeInfo];
    return true;
}

void closeCaptureFiles() {
    for (HANDLE *h : {&gDataReadyEvent, &gStopEvent}) {
        if (*h) CloseHandle(*h);
        *h = nullptr;
    }
    // An unsaved recording stays in its files; anything else goes with them.
    for (HANDLE *h : {&gCaptureLeft, &gCaptureRight, &gCaptureInfo}) {
        if (*h != INVALID_HANDLE_VALUE) CloseHandle(*h);
        *h = INVALID_HANDLE_VALUE;
    }
}

uint64_t captureFileFrames(HANDLE file) {
    return fileBytes(file) / sizeof(float);
}

bool startCaptureWriter() {
    if (gWriterThread) {
        // The previous writer has ended (the recording flag is clear); make sure.
        WaitForSingleObject(gWriterThread, INFINITE);
        CloseHandle(gWriterThread);
        gWriterThread = nullptr;
    }
    ResetEvent(gDataReadyEvent);
    ResetEvent(gStopEvent);
    gRecorder.transportPos = 0;
    gRecorder.recordedFrames = 0;
    gCaptureFramesWritten = 0;
    gCaptureLostBlocks = 0;
    gCaptureLostFrames = 0;
    gCaptureTappedBlocks = 0;
    gCaptureWriteFailed = 0;
    truncateFile(gCaptureLeft, 0);
    truncateFile(gCaptureRight, 0);
    beginCapturedTake(gEngine.sampleRate);
    // The tap is idle (recording flag clear) and the ring changes only on this thread.
    for (int32_t s = 0; s < gCaptureRing.slotCount; ++s) gCaptureRing.slots[s].state = kSlotFree;
    // Every block the recording taps is stamped later than the count now.
    gCapturePublished = (LONG)gRecorder.blockCounter;
    // The tap starts now; the ring holds its blocks until the writer runs.
    gRecorder.recording = 1;
    gWriterThread = CreateThread(nullptr, 0, captureWriterThread, nullptr, 0, nullptr);
    if (!gWriterThread) {
        gRecorder.recording = 0;
        return false;
    }
    SetThreadPriority(gWriterThread, THREAD_PRIORITY_HIGHEST);
    return true;
}

void stopCaptureWriter() {
    if (gStopEvent) SetEvent(gStopEvent);
    if (gWriterThread) WaitForSingleObject(gWriterThread, INFINITE);
}

DWORD captureFlushWait(bool unflushed, DWORD sinceFlushMs) {
    if (!unflushed) return INFINITE;
    return sinceFlushMs >= kCaptureFlushMs ? 0 : kCaptureFlushMs - sinceFlushMs;
}

namespace {

bool flushFile(HANDLE file) { return FlushFileBuffers(file) != 0; }

// What the writer has written but not yet pushed out to the disk.
struct FlushState {
    LONGLONG flushedFrames;
    DWORD flushedAt;  // GetTickCount of the last flush
};

void flushCapture(FlushState &state) {
    gCaptureFlush(gCaptureLeft);
    gCaptureFlush(gCaptureRight);
    state.flushedFrames = gCaptureFramesWritten;
    state.flushedAt = GetTickCount();
}

DWORD flushWait(const FlushState &state) {
    return captureFlushWait(gCaptureFramesWritten != state.flushedFrames, GetTickCount() - state.flushedAt);
}

}  // namespace

bool (*gCaptureFlush)(HANDLE file) = flushFile;

DWORD WINAPI captureWriterThread(void *) {
    HANDLE events[2] = {gDataReadyEvent, gStopEvent};
    FlushState flush = {0, GetTickCount()};
    for (;;) {
        // When both are signalled the data-ready event wins: blocks tapped before
        // the stop are still written. No block for a while (the engine gate is
        // closed, say): what was written still reaches the disk in time.
        DWORD woken = WaitForMultipleObjects(2, events, FALSE, flushWait(flush));
        if (woken == WAIT_TIMEOUT) {
            flushCapture(flush);
            continue;
        }
        if (woken != WAIT_OBJECT_0) break;
        if (gCaptureLock.tryEnter()) {  // else the engine is being reconfigured
            bool written = writeFullSlots();
            gCaptureLock.leave();
            if (!written) break;
        }
        if (flushWait(flush) == 0) flushCapture(flush);
        // The tap signals data-ready every block: when a pass takes longer than a
        // block the wait above never reports the stop, so look for it here.
        if (WaitForSingleObject(gStopEvent, 0) == WAIT_OBJECT_0) break;
    }
    // The tap ends first (record and play wait for this thread to end), so the last
    // pass writes every block it took but one it may still be filling.
    gRecorder.recording = 0;
    if (!gCaptureWriteFailed && gCaptureLock.tryEnter()) {
        writeFullSlots();
        gCaptureLock.leave();
    }
    flushCapture(flush);
    gStatusDirty = 1;
    return 0;
}

void captureTap(const float *left, const float *right, int frames) {
    CaptureSlot *slots = gCaptureRing.slots;
    int32_t slotCount = gCaptureRing.slotCount;
    if (!slots || frames <= 0 || frames > gEngine.bufferFrames) return;
    InterlockedIncrement(&gCaptureTappedBlocks);
    int32_t chosen = -1;
    for (int32_t s = 0; s < slotCount && chosen < 0; ++s)
        if (slots[s].state == kSlotFree) chosen = s;
    for (int32_t s = 0; s < slotCount && chosen < 0; ++s) {
        // The writer fell behind the whole ring: take back the lowest full slot that
        // is not being written; its block is lost.
        LONG was = InterlockedCompareExchange(&slots[s].state, kSlotFree, kSlotFull);
        if (was == kSlotFull) addLost(slots[s].frames);
        if (was != kSlotWriting) chosen = s;
    }
    if (chosen < 0) {
        addLost(frames);
        return;
    }
    size_t bytes = sizeof(float) * (size_t)frames;
    if (left)
        memcpy(gCaptureRing.left[chosen], left, bytes);
    else
        memset(gCaptureRing.left[chosen], 0, bytes);
    if (right)
        memcpy(gCaptureRing.right[chosen], right, bytes);
    else
        memset(gCaptureRing.right[chosen], 0, bytes);
    slots[chosen].frames = frames;
    ULONG stamp = gRecorder.blockCounter;
    slots[chosen].stamp = stamp;
    InterlockedExchange(&slots[chosen].state, kSlotFull);
    InterlockedExchange(&gCapturePublished, (LONG)stamp);
    SetEvent(gDataReadyEvent);
}

void countDiscardedCaptureBlocks(const CaptureSlot *slots, int32_t count) {
    if (!gRecorder.recording) return;
    for (int32_t s = 0; s < count; ++s)
        if (slots[s].state == kSlotFull) addLost(slots[s].frames);
}
