// The recorder in-process: block processing taps the plugin's first two outputs
// into the capture ring, the real writer thread writes the real capture files, the
// transport plays them back, and the save turns them into WAV files read back by
// sox and by our own reader.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/engine_state.h"
#include "core/app_state.h"
#include "core/gate.h"
#include "core/texts.h"
#include "engine/block_processing.h"
#include "engine/capture_files.h"
#include "engine/capture_take.h"
#include "engine/engine_hooks.h"
#include "engine/save_recording.h"
#include "engine/status_line.h"
#include "engine/transport.h"
#include "engine/transport_state.h"
#include "plugin/plugin_instance.h"
#include "resources/resource_ids.h"
#include "support/program_runner.h"
#include "support/sox.h"
#include "support/status_strip.h"
#include "support/wav_file.h"

using namespace testing_support;

namespace {

const int kFrames = 64;
const int kRate = 1000;  // with 64-frame blocks: the smallest ring, 8 slots

// Block b (counted from 1 by the plugin) carries b on the left and -b on the right.
volatile LONG gPluginBlocks = 0;
void VSTCALLBACK numberedBlocks(AEffect *, float **, float **outputs, VstInt32 frames) {
    LONG b = InterlockedIncrement(&gPluginBlocks);
    for (int i = 0; i < frames; ++i) {
        outputs[0][i] += (float)b;
        outputs[1][i] -= (float)b;
    }
}
VstIntPtr VSTCALLBACK noDispatch(AEffect *, VstInt32, VstInt32, VstIntPtr, void *, float) { return 0; }

std::vector<float> readFloats(HANDLE file) {
    std::vector<float> data((size_t)captureFileFrames(file));
    LARGE_INTEGER zero = {};
    SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
    DWORD got = 0;
    if (!data.empty()) ReadFile(file, data.data(), (DWORD)(data.size() * 4), &got, nullptr);
    data.resize(got / 4);
    return data;
}

// The block numbers a capture file holds, one per kFrames floats (checking that each
// block is whole).
std::vector<int> blockNumbers(HANDLE file, float sign) {
    std::vector<float> data = readFloats(file);
    std::vector<int> numbers;
    for (size_t at = 0; at + kFrames <= data.size(); at += kFrames) {
        for (int i = 1; i < kFrames; ++i) EXPECT_EQ(data[at], data[at + i]) << "torn block at " << at;
        numbers.push_back((int)(data[at] * sign));
    }
    EXPECT_EQ(0u, data.size() % kFrames);
    return numbers;
}

std::vector<int> range(int first, int last) {
    std::vector<int> r;
    for (int b = first; b <= last; ++b) r.push_back(b);
    return r;
}

// Writes that fail from a given call on (a full disk).
volatile LONG gWritesLeft = 0;
bool refusingWrite(HANDLE file, const void *data, DWORD bytes) {
    if (InterlockedDecrement(&gWritesLeft) < 0) return false;
    DWORD written = 0;
    return WriteFile(file, data, bytes, &written, nullptr) && written == bytes;
}

class Recorder : public ::testing::Test {
protected:
    void SetUp() override {
        installEngine();
        memset(&effect, 0, sizeof effect);
        effect.dispatcher = noDispatch;
        effect.process = numberedBlocks;
        effect.numInputs = effect.numOutputs = 2;
        gPlugin.effect = &effect;
        gPluginBlocks = 0;
        gEngine.inputCount = gEngine.outputCount = 2;
        gEngine.sampleRate = kRate;
        gEngine.blockSize = kFrames;
        setDefaultChannelMaps();
        ASSERT_TRUE(allocateEngineBuffers(kFrames));
        ASSERT_EQ(kCaptureSlots, gCaptureRing.slotCount);
        createCaptureFiles();
        ASSERT_NE(INVALID_HANDLE_VALUE, gCaptureLeft);
        ASSERT_NE(INVALID_HANDLE_VALUE, gCaptureRight);
        gAudioStopped = gRecorder.playing = gRecorder.recording = 0;
    }
    void TearDown() override {
        stopCaptureWriter();
        if (gWriterThread) CloseHandle(gWriterThread);
        gWriterThread = nullptr;
        endCapturedTake();  // not kept for a next start
        closeCaptureFiles();
        freeEngineBuffers();
        gCaptureWrite = saved;
        gPlugin.effect = nullptr;
        gEngine.inputCount = gEngine.outputCount = 0;
        gRecorder.playing = gRecorder.recording = gRecorder.transportPos = gRecorder.recordedFrames = 0;
    }
    // Record command, then wait until the writer has set the recording flag.
    void startRecording() {
        recordCommand();
        ASSERT_NE(nullptr, gWriterThread);
        while (!gRecorder.recording && WaitForSingleObject(gWriterThread, 1) == WAIT_TIMEOUT) {
        }
        ASSERT_EQ(1, gRecorder.recording);
    }
    void blocks(int n) {
        for (int i = 0; i < n; ++i) ASSERT_EQ(1, processBlock(kFrames));
    }
    // Stop, and wait for the writer to end.
    void stop() {
        stopCommand();
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(gWriterThread, 30000));
        EXPECT_EQ(0, gRecorder.recording);
    }
    void expectFilesHold(const std::vector<int> &numbers) {
        EXPECT_EQ(numbers, blockNumbers(gCaptureLeft, 1.0f));
        EXPECT_EQ(numbers, blockNumbers(gCaptureRight, -1.0f));
        EXPECT_EQ((LONG)numbers.size() * kFrames, gRecorder.recordedFrames);
    }
    AEffect effect;
    bool (*saved)(HANDLE, const void *, DWORD) = gCaptureWrite;
};

}  // namespace

TEST(CaptureRing, HoldsHalfASecondAndNeverFewerThanEightSlots) {
    struct Case {
        int32_t rate, frames, slots;
    } cases[] = {
        {48000, 64, 375},   // 0.5 s of 64-frame blocks
        {44100, 882, 25},   // 22050 / 882
        {44100, 64, 345},   // rounded up: 344.5
        {44100, 8192, 8},   // long blocks: the minimum
        {1000, 64, 8},      {0, 64, 8}, {48000, 0, 8},
        {2000000000, 1, kMaxCaptureSlots},
    };
    for (const Case &c : cases) EXPECT_EQ(c.slots, captureSlotCount(c.rate, c.frames)) << c.rate << "/" << c.frames;
}

TEST(CaptureRing, SizeIsCountedIn64BitsAndAnAbsurdOneRefused) {
    struct Case {
        int32_t slots, frames;
        uint64_t bytes;
    } cases[] = {
        {375, 64, 192000},
        {8, 1 << 20, 64ull << 20},                // the longest block: the minimum ring
        {kMaxCaptureSlots, 1024, 0},              // 512 MiB: a rate no driver runs at
        {kMaxCaptureSlots, 1 << 20, 0},           // 2^39: 0 in a 32-bit size_t
        {0, 64, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(c.bytes, captureRingBytes(c.slots, c.frames)) << c.slots << "/" << c.frames;
    // A driver at ~1 GHz with long blocks: the engine refuses to open.
    installEngine();
    int32_t rate = gEngine.sampleRate;
    gEngine.sampleRate = 1000000000;
    EXPECT_FALSE(allocateEngineBuffers(1 << 19));
    EXPECT_EQ(0, gEngine.bufferFrames);
    EXPECT_EQ(nullptr, gCaptureRing.slots);
    gEngine.sampleRate = rate;
}

TEST(CaptureRing, APassWritesOnlyBlocksPublishedBeforeItsScanOldestFirst) {
    const LONG F = kSlotFull, E = kSlotFree, W = kSlotWriting;
    struct Case {
        const char *what;
        std::vector<std::pair<LONG, ULONG>> slots;  // state, stamp
        ULONG published;
        std::vector<int32_t> written;  // slots, in writing order
    } cases[] = {
        {"oldest first whatever the slot", {{F, 7}, {F, 5}, {E, 0}, {F, 6}}, 7, {1, 3, 0}},
        // The scan passed slot 0 while block 6 was being put there, then saw block 7
        // in slot 1: 7 waits for the next pass, after 6.
        {"a block newer than the scan waits", {{E, 0}, {F, 7}, {F, 5}}, 5, {2}},
        {"one being written is not taken again", {{W, 5}, {F, 6}}, 6, {1}},
        {"across the wrap of the block count", {{F, 1}, {F, 0xFFFFFFFFul}, {F, 0}}, 1, {1, 2, 0}},
        {"nothing full", {{E, 3}, {E, 4}}, 4, {}},
    };
    for (const Case &c : cases) {
        std::vector<CaptureSlot> slots;
        for (auto &s : c.slots) slots.push_back(CaptureSlot{s.first, s.second, kFrames});
        std::vector<uint64_t> order(slots.size());
        int32_t n = collectWritableSlots(slots.data(), (int32_t)slots.size(), c.published, order.data());
        std::vector<int32_t> written;
        for (int32_t k = 0; k < n; ++k) written.push_back((int32_t)(uint32_t)order[k]);
        EXPECT_EQ(c.written, written) << c.what;
    }
}

TEST_F(Recorder, BlocksReachBothFilesInOrderAndRecordAfterStopStartsAfresh) {
    startRecording();
    blocks(5);
    stop();
    expectFilesHold(range(1, 5));
    EXPECT_EQ(5 * kFrames, gRecorder.transportPos);

    // Stop while idle, then record: the stale stop does not end the new writer.
    stopCommand();
    startRecording();
    EXPECT_EQ(0u, captureFileFrames(gCaptureLeft));  // truncated by the record command
    EXPECT_EQ(0u, captureFileFrames(gCaptureRight));
    blocks(3);
    stop();
    expectFilesHold(range(6, 8));
    EXPECT_EQ(0, gCaptureLostBlocks);
    unsigned ms = 99;
    EXPECT_EQ(0u, recorderNotice(gCaptureWriteFailed != 0, gCaptureLostFrames, kRate, &ms));
}

TEST_F(Recorder, WriterHeldBackLosesExactlyTheCountedBlocks) {
    startRecording();
    gCaptureLock.close();  // the writer cannot take the lock: the ring fills up
    blocks(12);
    gCaptureLock.open();
    stop();
    // Slots 0-7 took blocks 1-8; blocks 9, 10 and 11 each took slot 0 back in turn,
    // and 12 took it last. Lost: 1, 9, 10, 11.
    expectFilesHold({2, 3, 4, 5, 6, 7, 8, 12});
    EXPECT_EQ(4, gCaptureLostBlocks);
    EXPECT_EQ(4 * kFrames, gCaptureLostFrames);
    EXPECT_EQ(12, gCaptureTappedBlocks);
    unsigned ms = 0;
    EXPECT_EQ((unsigned)IDS_RECORDING_LOST, recorderNotice(false, gCaptureLostFrames, kRate, &ms));
    EXPECT_EQ(256u, ms);  // 256 frames at 1000 Hz

    // The next recording loses nothing: its counts start from zero, and it has no notice.
    startRecording();
    blocks(3);
    stop();
    expectFilesHold(range(13, 15));
    EXPECT_EQ(0, gCaptureLostBlocks);
    EXPECT_EQ(0, gCaptureLostFrames);
    EXPECT_EQ(0u, recorderNotice(gCaptureWriteFailed != 0, gCaptureLostFrames, kRate, &ms));
}

TEST_F(Recorder, RecorderNoticeTexts) {
    struct Case {
        bool failed;
        long lost;
        int rate;
        unsigned id, ms;
    } cases[] = {
        {false, 0, 48000, 0, 0},
        {false, 64, 48000, IDS_RECORDING_LOST, 2},  // 1.33 ms rounds up
        {false, 48000, 48000, IDS_RECORDING_LOST, 1000},
        {true, 48000, 48000, IDS_RECORDING_DISK_FULL, 0},  // the full disk is what the user must hear
        {false, 441, 0, IDS_RECORDING_LOST, 10},           // no rate yet: 44100
    };
    for (const Case &c : cases) {
        unsigned ms = 12345;
        EXPECT_EQ(c.id, recorderNotice(c.failed, c.lost, c.rate, &ms));
        EXPECT_EQ(c.ms, ms);
    }
}

TEST_F(Recorder, FullDiskEndsTheRecordingWithOnlyWhatBothFilesTook) {
    // The right half of the fourth block is refused; its left half is cut off again.
    gCaptureWrite = refusingWrite;
    gWritesLeft = 7;
    startRecording();
    for (int i = 0; i < 6; ++i) {
        blocks(1);
        // One block per wake-up, so the refusal falls on block 4 exactly.
        while (gRecorder.recording && gCaptureRing.slots[0].state != kSlotFree) Sleep(1);
    }
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(gWriterThread, 30000));  // ended by itself
    EXPECT_EQ(0, gRecorder.recording);
    EXPECT_EQ(1, gCaptureWriteFailed);
    expectFilesHold(range(1, 3));
    unsigned ms = 0;
    EXPECT_EQ((unsigned)IDS_RECORDING_DISK_FULL, recorderNotice(true, gCaptureLostFrames, kRate, &ms));

    // With room on the disk again, the next recording keeps every block and has no notice.
    gCaptureWrite = saved;
    startRecording();
    blocks(2);
    stop();
    EXPECT_EQ(0, gCaptureWriteFailed);
    expectFilesHold(range(7, 8));
    EXPECT_EQ(0u, recorderNotice(gCaptureWriteFailed != 0, gCaptureLostFrames, kRate, &ms));
}

namespace {
// A writer slower than the driver: the first write waits until the test lets it go,
// and while each later block is written the driver taps the next one (at most
// gTapsLeft, so a writer that never looks at the stop still ends).
HANDLE gWriteEntered = nullptr, gWriteReleased = nullptr;
volatile LONG gTapsLeft = 0;
bool slowWrite(HANDLE file, const void *data, DWORD bytes) {
    if (gWriteEntered && SetEvent(gWriteEntered)) {
        gWriteEntered = nullptr;
        WaitForSingleObject(gWriteReleased, 30000);
    }
    if (file == gCaptureRight && InterlockedDecrement(&gTapsLeft) >= 0) processBlock(kFrames);
    DWORD written = 0;
    return WriteFile(file, data, bytes, &written, nullptr) && written == bytes;
}
}  // namespace

TEST_F(Recorder, StopEndsAWriterThatNeverCatchesUp) {
    HANDLE entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    gWriteReleased = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    gWriteEntered = entered;
    gTapsLeft = 1000;
    gCaptureWrite = slowWrite;
    startRecording();
    blocks(1);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(entered, 30000));
    stopCommand();  // while block 1 is being written
    SetEvent(gWriteReleased);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(gWriterThread, 30000));
    // Block 1, then block 2 (tapped during it) in the last pass; not 1000 more.
    expectFilesHold(range(1, 2));
    CloseHandle(entered);
    CloseHandle(gWriteReleased);
    gWriteReleased = nullptr;
}

namespace {
volatile LONG gDriverRunning = 0;
DWORD WINAPI driverThread(void *) {
    while (gDriverRunning) processBlock(kFrames);
    return 0;
}
}  // namespace

TEST_F(Recorder, StoppingWhileTheDriverRunsLeavesFilesOfExactlyTheRecordedFrames) {
    startRecording();
    gDriverRunning = 1;
    HANDLE driver = CreateThread(nullptr, 0, driverThread, nullptr, 0, nullptr);
    while (gRecorder.recordedFrames < 50 * kFrames) Sleep(1);
    stopCaptureWriter();  // what sound off does first
    gDriverRunning = 0;
    WaitForSingleObject(driver, 30000);
    CloseHandle(driver);
    EXPECT_EQ(0, gRecorder.recording);
    EXPECT_EQ((uint64_t)gRecorder.recordedFrames, captureFileFrames(gCaptureLeft));
    EXPECT_EQ((uint64_t)gRecorder.recordedFrames, captureFileFrames(gCaptureRight));
    // Whatever was lost was counted: the files hold every other tapped block in order
    // (but for one the tap may have been filling as the writer ended).
    std::vector<int> numbers = blockNumbers(gCaptureLeft, 1.0f);
    EXPECT_NEAR(gCaptureTappedBlocks - gCaptureLostBlocks, (LONG)numbers.size(), 1);
    for (size_t i = 1; i < numbers.size(); ++i) ASSERT_LT(numbers[i - 1], numbers[i]);
}

TEST_F(Recorder, PlaybackMixesTheRecordingOverTheLiveOutputAndEndsByItself) {
    startRecording();
    blocks(3);
    stop();
    playCommand();
    ASSERT_EQ(1, gRecorder.playing);
    gPluginBlocks = 100;
    for (int b = 1; b <= 3; ++b) {
        blocks(1);
        EXPECT_EQ((float)(b + 100 + b), gEngine.outputs[0][kFrames - 1]) << "block " << b;
        EXPECT_EQ(-(float)(b + 100 + b), gEngine.outputs[1][0]);
    }
    blocks(1);  // the position reached the recorded frames
    EXPECT_EQ(0, gRecorder.playing);
    EXPECT_EQ(1, gStatusDirty);

    // Sound off ignores play; record is ignored while playing.
    gAudioStopped = 1;
    playCommand();
    EXPECT_EQ(0, gRecorder.playing);
    gAudioStopped = 0;
    playCommand();
    HANDLE before = gWriterThread;
    recordCommand();
    EXPECT_EQ(before, gWriterThread);
}

TEST(RecordedFrames, StopAtTheLargestCountInsteadOfWrapping) {
    struct Case {
        unsigned long long frames;
        LONG saturated;
    } cases[] = {
        {0, 0}, {48000, 48000}, {LONG_MAX, LONG_MAX}, {LONG_MAX + 1ull, LONG_MAX},  // 12.4 hours at 48 kHz
        {(1ull << 32) + 64, LONG_MAX},  // would wrap to 64
    };
    for (const Case &c : cases) EXPECT_EQ(c.saturated, saturatedFrames(c.frames)) << c.frames;
}

TEST_F(Recorder, FullDiskPastFourGigaFramesKeepsTheWholeRecording) {
    // Both files sparse: the writer is told it already wrote 2^32 + 5 frames (a
    // recording of a day), which the files then hold as a hole before their blocks.
    DWORD ignored;
    for (HANDLE file : {gCaptureLeft, gCaptureRight})
        DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    gCaptureWrite = refusingWrite;
    gWritesLeft = 3;  // block 1 whole, then the right half of block 2 is refused
    startRecording();
    const uint64_t before = (1ull << 32) + 5;
    gCaptureFramesWritten = (LONGLONG)before;
    blocks(1);
    while (gRecorder.recording && gCaptureRing.slots[0].state != kSlotFree) Sleep(1);
    EXPECT_EQ(LONG_MAX, gRecorder.recordedFrames);
    blocks(1);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(gWriterThread, 30000));  // ended by the full disk
    EXPECT_EQ(1, gCaptureWriteFailed);
    EXPECT_EQ(before + kFrames, recordedFramesForRecovery());
    EXPECT_EQ(before + kFrames, captureFileFrames(gCaptureLeft));
    EXPECT_EQ(before + kFrames, captureFileFrames(gCaptureRight));
}

TEST_F(Recorder, RecordAndPlayWaitUntilTheWriterHasEnded) {
    // A writer that has started but not yet set the recording flag (the flag is
    // cleared by hand while it waits for blocks).
    startRecording();
    HANDLE writer = gWriterThread;
    gRecorder.recording = 0;
    playCommand();
    EXPECT_EQ(0, gRecorder.playing);
    recordCommand();
    EXPECT_EQ(writer, gWriterThread);
    gRecorder.recording = 1;
    stop();
    playCommand();
    EXPECT_EQ(1, gRecorder.playing);
}

TEST_F(Recorder, CaptureFramesComeFromThe64BitSize) {
    // A sparse file past 4 GiB: its low 32 bits alone would say 1 KiB.
    std::string path = tempFolder("sparse") + "\\capture";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD ignored;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = (4ll << 30) + 1024;
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    uint64_t frames = captureFileFrames(file);
    EXPECT_EQ(((4ull << 30) + 1024) / 4, frames);
    // Its WAV at any depth needs the 64-bit form.
    uint8_t header[kMaxWavHeaderSize];
    for (WavDepth depth : {kWavDepth16, kWavDepth24, kWavDepthFloat}) {
        ASSERT_EQ(kRf64HeaderSize, buildWavHeader(header, wavFormatFor(depth, 2, 48000), frames));
        uint64_t count = 0;
        memcpy(&count, header + 36, 8);
        EXPECT_EQ(frames, count);
    }
    CloseHandle(file);
}

namespace {
// The recorded frames: left a ramp, right its negative, both within +-1.
float ramp(size_t i) { return (float)((int)(i % 2000) - 1000) / 1000.0f; }
}  // namespace

TEST_F(Recorder, SavedFilesReadBackAtEveryDepthAcrossThePassBoundary) {
    const size_t frames = 4096 + 100;  // one whole pass and a remainder
    std::vector<float> left(frames), right(frames);
    for (size_t i = 0; i < frames; ++i) {
        left[i] = ramp(i);
        right[i] = -ramp(i);
    }
    DWORD written;
    WriteFile(gCaptureLeft, left.data(), (DWORD)frames * 4, &written, nullptr);
    WriteFile(gCaptureRight, right.data(), (DWORD)frames * 4, &written, nullptr);

    std::string folder = tempFolder("save");
    struct Case {
        WavDepth depth;
        int tag, bits;
        const char *precision, *encoding;
        float tolerance;
    } cases[] = {
        {kWavDepth16, 1, 16, "16-bit", "16-bit Signed Integer PCM", 1.0f / 32768},
        {kWavDepth24, 1, 24, "24-bit", "24-bit Signed Integer PCM", 1.0f / 8388608},
        {kWavDepthFloat, 3, 32, "25-bit", "32-bit Floating Point PCM", 0.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bits);
        std::string path = folder + "\\take-" + std::to_string(c.bits) + ".wav";
        ASSERT_EQ(kSaveDone, saveCaptureAsWav(gCaptureLeft, gCaptureRight, path.c_str(), c.depth, 48000));
        WavData wav = readWav(path);
        ASSERT_TRUE(wav.ok);
        EXPECT_EQ(c.tag, wav.formatTag);
        EXPECT_EQ(c.bits, wav.bitsPerSample);
        ASSERT_EQ(frames, wav.frames());
        for (size_t i = 0; i < frames; i += 97) {
            EXPECT_NEAR(left[i], wav.samples[0][i], c.tolerance) << i;
            EXPECT_NEAR(right[i], wav.samples[1][i], c.tolerance) << i;
        }
        std::string info = runSox("--i '" + unixPath(path) + "'");
        EXPECT_EQ("2", soxInfoField(info, "Channels")) << "[" << info << "]";
        EXPECT_EQ("48000", soxInfoField(info, "Sample Rate"));
        EXPECT_EQ(c.precision, soxInfoField(info, "Precision"));
        EXPECT_EQ(c.encoding, soxInfoField(info, "Sample Encoding"));
        EXPECT_NE(std::string::npos, soxInfoField(info, "Duration").find("= 4196 samples"));
    }
    // No temporary file is left beside them.
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\~kv*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

TEST_F(Recorder, FailedSaveLeavesTheExistingFileIntact) {
    std::string folder = tempFolder("save-fail");
    std::string path = folder + "\\keep.wav";
    HANDLE old = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(old, "old take", 8, &written, nullptr);
    CloseHandle(old);

    // A capture file that cannot be read back: the save fails half way.
    std::vector<float> block(10000, 0.5f);
    WriteFile(gCaptureLeft, block.data(), (DWORD)block.size() * 4, &written, nullptr);
    std::string unreadable = folder + "\\unreadable";
    HANDLE right = CreateFileA(unreadable.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    WriteFile(right, block.data(), (DWORD)block.size() * 4, &written, nullptr);
    EXPECT_EQ(kSaveReadFailed, saveCaptureAsWav(gCaptureLeft, right, path.c_str(), kWavDepth16, 44100));
    CloseHandle(right);
    EXPECT_EQ("old take", readFile(path));

    // A folder that does not exist: nothing can be created, and the system says why.
    DWORD error = 0;
    EXPECT_EQ(kSaveCannotCreate, saveCaptureAsWav(gCaptureLeft, gCaptureRight, (folder + "\\missing\\x.wav").c_str(),
                                                  kWavDepth16, 44100, &error));
    EXPECT_NE(0u, error);
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\~kv*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

TEST(SaveFailure, EachResultHasItsOwnTextNamingTheFile) {
    std::vector<std::wstring> seen;
    for (SaveResult result : {kSaveCannotCreate, kSaveNoMemory, kSaveReadFailed, kSaveWriteFailed}) {
        wchar_t format[512];
        ASSERT_GT(loadText(saveFailureText(result), format, 512), 0) << result;
        EXPECT_NE(nullptr, wcsstr(format, L"%s")) << result;
        EXPECT_EQ(seen.end(), std::find(seen.begin(), seen.end(), format)) << result;
        seen.push_back(format);
    }
    EXPECT_EQ(0u, saveFailureText(kSaveDone));
}

TEST(StatusLine, TextsForEachTransportState) {
    // The English texts of the program's string table (linked into the tests).
    StatusTexts texts;
    loadStatusTexts(&texts);
    const StatusFormats formats = texts.formats();
    const wchar_t *kNoDriver = L"No audio driver is open: choose one in System > Settings...";
    struct Case {
        bool stopped, recording, playing, driverOpen;
        long recorded, position;
        int rate;
        const wchar_t *text;
    } cases[] = {
        {true, true, false, false, 88200, 0, 44100, L"Audio Stopped"},
        {false, true, false, true, 90000, 0, 44100, L"Recording: 2.0 seconds"},
        {false, true, false, false, 0, 0, 44100, L"Recording: 0.0 seconds"},
        {false, false, true, true, 176400, 66150, 44100, L"Playing: 1.5 of 4.0 seconds"},
        {false, false, false, true, 176400, 0, 44100, L""},
        {false, false, false, false, 176400, 0, 44100, kNoDriver},
        {false, true, false, true, 48000, 0, 0, L"Recording: 48000.0 seconds"},  // no rate: never divides by 0
    };
    for (const Case &c : cases) {
        wchar_t text[128] = L"stale";
        statusLineText(text, 128, formats, c.stopped, c.recording, c.playing, c.driverOpen, c.recorded, c.position,
                       c.rate);
        EXPECT_STREQ(c.text, text);
    }
}

// With no driver the status line says why, naming a missing driver, and shows all of
// its text along the demo instrument's 400-pixel editor (the shortest form is for
// narrower ones).
TEST(StatusLine, NoDriverTextsAreWholeAtTheDesignedWidth) {
    struct Case {
        bool recordAsked;
        const char *missing;
        const wchar_t *starts;
    } cases[] = {
        {false, nullptr, L"No audio driver"},
        {true, nullptr, L"Recording needs"},
        {true, "ASIO4ALL v2", L"Recording needs"},  // the latest request wins
        {false, "ASIO4ALL v2", L"\"ASIO4ALL v2\" is not installed"},
        {false, "Yamaha Steinberg USB ASIO", L"Driver not installed: \"Yamaha Steinberg USB ASIO\""},
    };
    for (const Case &c : cases) {
        StatusShown shown = noDriverStatusAt(400, c.recordAsked, c.missing);
        EXPECT_EQ(0u, shown.text.find(c.starts)) << shown.text.c_str();
        EXPECT_LE(shown.textWidth, shown.lineWidth) << shown.text.c_str();
    }
    // A wider window has room for the long form.
    EXPECT_EQ(L"No audio driver is open: choose one in System > Settings...",
              noDriverStatusAt(1000, false, nullptr).text);
}

namespace {

// Stands in for FlushFileBuffers: notes the frames each capture file held when it
// was flushed and signals flushedTwice once both files were flushed holding `wanted`.
struct FlushLog {
    CRITICAL_SECTION lock;
    std::vector<std::pair<HANDLE, uint64_t>> flushes;
    uint64_t wanted = 0;
    HANDLE flushedBoth = nullptr;
};
FlushLog *gFlushLog = nullptr;

bool loggedFlush(HANDLE file) {
    EnterCriticalSection(&gFlushLog->lock);
    uint64_t frames = captureFileFrames(file);
    gFlushLog->flushes.push_back({file, frames});
    int both = 0;
    for (auto &f : gFlushLog->flushes) both += f.second == gFlushLog->wanted ? 1 : 0;
    if (both >= 2) SetEvent(gFlushLog->flushedBoth);
    LeaveCriticalSection(&gFlushLog->lock);
    return FlushFileBuffers(file) != 0;
}

}  // namespace

TEST_F(Recorder, WrittenBlocksReachTheDiskWithoutWaitingForMoreAndAgainAsTheWriterEnds) {
    FlushLog log;
    InitializeCriticalSection(&log.lock);
    log.flushedBoth = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    gFlushLog = &log;
    bool (*realFlush)(HANDLE) = gCaptureFlush;
    gCaptureFlush = loggedFlush;

    startRecording();
    log.wanted = 2 * kFrames;
    blocks(2);
    // No block follows: the writer flushes what it has once the interval is over.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(log.flushedBoth, 30000));
    blocks(3);
    stop();
    gCaptureFlush = realFlush;
    expectFilesHold(range(1, 5));
    // The last flush of each file came after its last write.
    uint64_t lastLeft = 0, lastRight = 0;
    for (auto &f : log.flushes) (f.first == gCaptureLeft ? lastLeft : lastRight) = f.second;
    EXPECT_EQ(5u * kFrames, lastLeft);
    EXPECT_EQ(5u * kFrames, lastRight);
    CloseHandle(log.flushedBoth);
    DeleteCriticalSection(&log.lock);
    gFlushLog = nullptr;
}
