// The driver's thread: the buffer switch and the block processing around a plugin
// allocate nothing and never wait on the engine gate.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/buffer_switch.h"
#include "audio/engine_state.h"
#include "core/app_state.h"
#include "core/gate.h"
#include "engine/block_processing.h"
#include "engine/capture_files.h"
#include "engine/capture_take.h"
#include "engine/engine_hooks.h"
#include "engine/transport.h"
#include "engine/transport_state.h"
#include "midi/midi_ports.h"
#include "midi/midi_queue.h"
#include "plugin/plugin_instance.h"

// Every heap allocation of the test executable goes through these (linked with
// --wrap); only those made on the watched thread are counted.
extern "C" {
void *__real_malloc(size_t size);
void *__real_calloc(size_t count, size_t size);
void *__real_realloc(void *p, size_t size);
volatile LONG gWatchedThread = 0;
volatile LONG gAllocations = 0;
static void countAllocation() {
    if (gWatchedThread && (LONG)GetCurrentThreadId() == gWatchedThread) InterlockedIncrement(&gAllocations);
}
void *__wrap_malloc(size_t size) {
    countAllocation();
    return __real_malloc(size);
}
void *__wrap_calloc(size_t count, size_t size) {
    countAllocation();
    return __real_calloc(count, size);
}
void *__wrap_realloc(void *p, size_t size) {
    countAllocation();
    return __real_realloc(p, size);
}
}

namespace {

const int kFrames = 64;

volatile LONG gProcessCalls = 0;
VstIntPtr VSTCALLBACK quietDispatcher(AEffect *, VstInt32, VstInt32, VstIntPtr, void *, float) { return 0; }
void VSTCALLBACK addTone(AEffect *, float **, float **outputs, VstInt32 frames) {
    InterlockedIncrement(&gProcessCalls);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < frames; ++i) outputs[c][i] += 0.25f;
}

class RealTimePath : public ::testing::Test {
protected:
    void SetUp() override {
        installEngine();
        memset(&effect, 0, sizeof effect);
        effect.dispatcher = quietDispatcher;
        effect.process = addTone;
        effect.numInputs = 2;
        effect.numOutputs = 2;
        gPlugin.effect = &effect;
        gPlugin.wantsMidi = 1;
        initMidi();

        // A 16-bit driver with two inputs and two outputs.
        memset(&gDriverInfo, 0, sizeof gDriverInfo);
        gDriverInfo.inputBuffers = gDriverInfo.outputBuffers = 2;
        gDriverInfo.bufferPreferredSize = kFrames;
        for (int k = 0; k < 4; ++k) {
            gDriverInfo.bufferInfos[k].isInput = k < 2;
            gDriverInfo.bufferInfos[k].channelNum = k % 2;
            gDriverInfo.channelInfos[k].type = ASIOSTInt16LSB;
            for (int h = 0; h < 2; ++h) gDriverInfo.bufferInfos[k].buffers[h] = halves[k][h];
        }
        memset(halves, 0, sizeof halves);
        prepareChannelConverters(gDriverInfo, &gChannelConverters);
        gEngine.inputCount = gEngine.outputCount = 2;
        gEngine.sampleRate = 44100;
        gEngine.blockSize = kFrames;
        setDefaultChannelMaps();
        ASSERT_TRUE(allocateEngineBuffers(kFrames));
    }
    void TearDown() override {
        gWatchedThread = 0;
        freeEngineBuffers();
        gPlugin.effect = nullptr;
        gPlugin.wantsMidi = 0;
        gEngine.inputCount = gEngine.outputCount = 0;
        memset(&gChannelConverters, 0, sizeof gChannelConverters);
    }
    AEffect effect;
    short halves[4][2][kFrames];
};

DWORD WINAPI runSwitches(void *count) {
    gWatchedThread = (LONG)GetCurrentThreadId();
    for (long i = 0; i < (long)(INT_PTR)count; ++i) bufferSwitch(i & 1, 1);
    gWatchedThread = 0;
    return 0;
}

}  // namespace

TEST_F(RealTimePath, ProcessesBlocksWithoutAllocating) {
    gAllocations = 0;
    gProcessCalls = 0;
    for (int i = 0; i < 40; ++i) gMidiQueue.push(0x403C90 + (i % 2) * 0x10);  // note on / note off pairs
    HANDLE thread = CreateThread(nullptr, 0, runSwitches, (void *)(INT_PTR)200, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 30000));
    CloseHandle(thread);
    EXPECT_EQ(200, gProcessCalls);
    EXPECT_EQ(0, gAllocations);
    EXPECT_EQ(0, gMidiQueue.count);
    // The plugin's output reached the driver: 0.25 in 16-bit.
    EXPECT_EQ(8192, halves[2][1][0]);
    EXPECT_EQ(8192, halves[3][0][kFrames - 1]);

    // The counter itself works: an allocation on the watched thread is seen.
    gWatchedThread = (LONG)GetCurrentThreadId();
    void *volatile block = malloc(16);
    free(block);
    gWatchedThread = 0;
    EXPECT_EQ(1, gAllocations);
}

TEST_F(RealTimePath, ClosedGateGivesSilenceWithoutWaiting) {
    gProcessCalls = 0;
    memset(halves, 0x7F, sizeof halves);
    closeEngineGate();
    // Were the switch to wait for the gate, this thread would never finish.
    HANDLE thread = CreateThread(nullptr, 0, runSwitches, (void *)(INT_PTR)20, 0, nullptr);
    DWORD waited = WaitForSingleObject(thread, 30000);
    openEngineGate();
    ASSERT_EQ(WAIT_OBJECT_0, waited);
    CloseHandle(thread);
    EXPECT_EQ(0, gProcessCalls);
    for (int k = 2; k < 4; ++k)
        for (int h = 0; h < 2; ++h)
            for (int i = 0; i < kFrames; ++i) ASSERT_EQ(0, halves[k][h][i]);
}

TEST_F(RealTimePath, RecordingAndPlaybackAllocateNothing) {
    createCaptureFiles();
    gAudioStopped = 0;
    recordCommand();
    while (!gRecorder.recording) Sleep(1);
    gAllocations = 0;
    HANDLE thread = CreateThread(nullptr, 0, runSwitches, (void *)(INT_PTR)200, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 30000));
    CloseHandle(thread);
    stopCaptureWriter();
    EXPECT_GT(gRecorder.recordedFrames, 0);
    EXPECT_EQ(0, gAllocations) << "while recording";

    playCommand();
    ASSERT_EQ(1, gRecorder.playing);
    thread = CreateThread(nullptr, 0, runSwitches, (void *)(INT_PTR)50, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 30000));
    CloseHandle(thread);
    EXPECT_EQ(1, gRecorder.playing) << "50 of the recorded blocks played back";
    EXPECT_EQ(0, gAllocations) << "while playing";
    CloseHandle(gWriterThread);
    gWriterThread = nullptr;
    endCapturedTake();  // not kept for a next start
    closeCaptureFiles();
    gRecorder.playing = gRecorder.recordedFrames = gRecorder.transportPos = 0;
}
