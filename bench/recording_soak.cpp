// Recording reliability, run by hand (not by CTest): a long recording through the
// real stream, buffer switch, block processing, capture ring, writer thread and
// capture files, with the test ASIO driver in fast mode (no real-time pacing).
//
// The plugin built here writes each block's number into its two outputs, so the
// capture files show which blocks arrived. Two runs:
//   1. normal writer, at least 10 minutes of 48 kHz audio in 64-frame blocks: every
//      block reaches both files (length = blocks processed while recording x 64),
//      with the files flushed to the disk as the program does (each flush timed);
//   2. writer slowed down (every 400th block write sleeps 40 ms): the blocks
//      missing from the files are exactly the ones the tap counted as lost, and
//      the notice the user would see names their duration.
//
//   recording_soak.exe [minutes] [slow-minutes]     (defaults 10 and 1)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/driver_list.h"
#include "audio/engine_state.h"
#include "audio/stream.h"
#include "audio/test_driver_registry.h"
#include "core/app_state.h"
#include "engine/capture_files.h"
#include "engine/capture_take.h"
#include "engine/engine_hooks.h"
#include "engine/transport.h"
#include "engine/transport_state.h"
#include "plugin/plugin_instance.h"

namespace {

const int kRate = 48000;
const int kBlock = 64;
const char kDriverName[] = "Korvane Recording Soak";
const char kDriverClsid[] = "{5D2B8E41-7C3A-4E19-B6F0-8A1D3C5E7B22}";

volatile LONG gBlockNumber = 0;
VstIntPtr VSTCALLBACK quiet(AEffect *, VstInt32, VstInt32, VstIntPtr, void *, float) { return 0; }
void VSTCALLBACK numberBlocks(AEffect *, float **, float **outputs, VstInt32 frames) {
    float n = (float)InterlockedIncrement(&gBlockNumber);
    for (int i = 0; i < frames; ++i) {
        outputs[0][i] += n;
        outputs[1][i] -= n;
    }
}

volatile LONG gSlowWrites = 0;
bool slowWrite(HANDLE file, const void *data, DWORD bytes) {
    if (InterlockedIncrement(&gSlowWrites) % 800 == 0) Sleep(40);  // two writes per block
    DWORD written = 0;
    return WriteFile(file, data, bytes, &written, nullptr) && written == bytes;
}

// Every flush of the capture files the writer makes (at least once a second while
// it writes, and as it ends), timed.
volatile LONG gFlushes = 0;
double gFlushMs = 0, gLongestFlushMs = 0;
bool timedFlush(HANDLE file) {
    LARGE_INTEGER before, after, frequency;
    QueryPerformanceCounter(&before);
    bool flushed = FlushFileBuffers(file) != 0;
    QueryPerformanceCounter(&after);
    QueryPerformanceFrequency(&frequency);
    double ms = 1000.0 * (double)(after.QuadPart - before.QuadPart) / (double)frequency.QuadPart;
    InterlockedIncrement(&gFlushes);
    gFlushMs += ms;  // only the writer thread flushes
    if (ms > gLongestFlushMs) gLongestFlushMs = ms;
    return flushed;
}

int32_t driverIndex() {
    gDriverList.build();
    for (LONG id = 0; id < gDriverList.count(); ++id) {
        char text[128] = "";
        if (gDriverList.getName(id, text, sizeof text) == 0 && std::string(kDriverName) == text) return id;
    }
    return -1;
}

struct Check {
    long blocksInFiles;
    bool ordered;        // block numbers strictly rising, every block whole, both files alike
    long gaps;           // blocks missing between the first and the last in the files
};

Check readBack() {
    Check c = {0, true, 0};
    LARGE_INTEGER zero = {};
    SetFilePointerEx(gCaptureLeft, zero, nullptr, FILE_BEGIN);
    SetFilePointerEx(gCaptureRight, zero, nullptr, FILE_BEGIN);
    std::vector<float> left(kBlock * 4096), right(kBlock * 4096);
    float last = 0;
    for (;;) {
        DWORD gotLeft = 0, gotRight = 0;
        ReadFile(gCaptureLeft, left.data(), (DWORD)left.size() * 4, &gotLeft, nullptr);
        ReadFile(gCaptureRight, right.data(), (DWORD)right.size() * 4, &gotRight, nullptr);
        if (gotLeft != gotRight || gotLeft % (kBlock * 4)) c.ordered = false;
        if (gotLeft == 0) break;
        for (DWORD at = 0; at + kBlock <= gotLeft / 4; at += kBlock) {
            float n = left[at];
            for (int i = 0; i < kBlock; ++i)
                if (left[at + i] != n || right[at + i] != -n) c.ordered = false;
            if (n <= last) c.ordered = false;
            if (c.blocksInFiles > 0) c.gaps += (long)(n - last) - 1;
            last = n;
            ++c.blocksInFiles;
        }
    }
    return c;
}

// One recording of `blocks` blocks; returns true when the figures hold.
bool run(const char *name, long blocks, bool slow) {
    testdriver::ScopedDrivers drivers;
    drivers.add(kDriverName, kDriverClsid, kDriverName,
                testdriver::Config()
                    .set("SampleType", DWORD(ASIOSTFloat32LSB))
                    .set("PreferredSize", kBlock)
                    .set("Rates", std::string("48000"))
                    .set("CurrentRate", kRate)
                    .set("Fast", 1)
                    .set("Blocks", (DWORD)blocks));
    gEngine.driverIndex = driverIndex();
    gEngine.sampleRate = kRate;
    gCaptureWrite = slow ? slowWrite : gCaptureWrite;
    gCaptureFlush = timedFlush;
    gBlockNumber = 0;
    gFlushes = 0;
    gFlushMs = gLongestFlushMs = 0;

    // The writer runs before the driver starts, so every block the driver processes
    // is a block processed while recording.
    recordCommand();
    DWORD start = GetTickCount();
    reopenEngine(nullptr);
    while (gCaptureTappedBlocks < blocks) Sleep(20);
    DWORD tapped = GetTickCount();
    stopCaptureWriter();
    DWORD stopped = GetTickCount();
    closeStream();

    Check c = readBack();
    uint64_t fileFrames = captureFileFrames(gCaptureLeft);
    unsigned lostMs = 0;
    recorderNotice(gCaptureWriteFailed != 0, gCaptureLostFrames, kRate, &lostMs);
    long expectedBlocks = gCaptureTappedBlocks - gCaptureLostBlocks;
    bool ok = c.ordered && fileFrames == (uint64_t)expectedBlocks * kBlock &&
              captureFileFrames(gCaptureRight) == fileFrames && c.blocksInFiles == expectedBlocks &&
              (uint64_t)gRecorder.recordedFrames == fileFrames &&
              (slow ? gCaptureLostBlocks > 0 : gCaptureLostBlocks == 0);
    printf("%s\n", name);
    printf("  ring: %d slots of %d frames (%.0f ms)\n", gCaptureRing.slotCount, kBlock,
           1000.0 * gCaptureRing.slotCount * kBlock / kRate);
    printf("  blocks processed while recording: %ld (%.1f min of audio) in %.1f s (%.1fx real time)\n",
           (long)gCaptureTappedBlocks, gCaptureTappedBlocks * (double)kBlock / kRate / 60,
           (tapped - start) / 1000.0, gCaptureTappedBlocks * (double)kBlock / kRate / ((tapped - start) / 1000.0));
    printf("  blocks lost (counted by the tap): %ld = %ld frames; notice: %u ms\n", (long)gCaptureLostBlocks,
           (long)gCaptureLostFrames, lostMs);
    printf("  capture files: %llu frames each = %ld blocks; recorded frames %ld; stop took %lu ms\n",
           (unsigned long long)fileFrames, c.blocksInFiles, (long)gRecorder.recordedFrames, stopped - tapped);
    printf("  blocks missing between the first and last block in the files: %ld; in order: %s\n", c.gaps,
           c.ordered ? "yes" : "NO");
    printf("  flushes of a capture file: %ld, %.1f ms in all (%.2f%% of the wall time), longest %.1f ms\n",
           (long)gFlushes, gFlushMs, 100.0 * gFlushMs / (stopped - start), gLongestFlushMs);
    printf("  file length = (processed - lost) x %d: %s\n", kBlock, ok ? "yes" : "NO");
    return ok;
}

}  // namespace

int main(int argc, char **argv) {
    double minutes = argc > 1 ? atof(argv[1]) : 10.0;
    double slowMinutes = argc > 2 ? atof(argv[2]) : 1.0;
    installEngine();
    AEffect effect = AEffect();
    effect.magic = kEffectMagic;
    effect.dispatcher = quiet;
    effect.process = numberBlocks;
    effect.numInputs = effect.numOutputs = 2;
    gPlugin.effect = &effect;
    setDefaultChannelMaps();
    createCaptureFiles();
    bool (*realWrite)(HANDLE, const void *, DWORD) = gCaptureWrite;

    bool ok = run("normal writer", (long)(minutes * 60 * kRate / kBlock), false);
    gCaptureWrite = realWrite;
    ok = run("writer slowed (every 400th block write sleeps 40 ms)", (long)(slowMinutes * 60 * kRate / kBlock), true) &&
         ok;
    gCaptureWrite = realWrite;
    freeEngineBuffers();
    endCapturedTake();
    closeCaptureFiles();
    gPlugin.effect = nullptr;
    printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
