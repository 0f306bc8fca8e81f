#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/engine_state.h"
#include "core/app_state.h"
#include "engine/block_processing.h"
#include "engine/time_info.h"
#include "engine/transport_state.h"
#include "midi/midi_ports.h"
#include "midi/midi_queue.h"
#include "plugin/plugin_instance.h"

namespace {

const int kBlock = 64;

// What the fake plugin saw.
struct PluginLog {
    int processCalls = 0;
    int eventCalls = 0;
    void *eventPointer = nullptr;
    std::vector<std::vector<uint32_t>> eventBlocks;  // MIDI data of each effProcessEvents
    std::vector<float> inputSeen;                    // first sample of each input, last block
    int frames = 0;
};

PluginLog gLog;

VstIntPtr VSTCALLBACK fakeDispatcher(AEffect *, VstInt32 opcode, VstInt32 index, VstIntPtr value, void *ptr,
                                     float) {
    if (opcode != effProcessEvents) return 0;
    ++gLog.eventCalls;
    gLog.eventPointer = ptr;
    EXPECT_EQ(index, 0);
    EXPECT_EQ(value, 0);
    const VstEvents *events = static_cast<const VstEvents *>(ptr);
    std::vector<uint32_t> data;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstMidiEvent *e = reinterpret_cast<const VstMidiEvent *>(events->events[i]);
        EXPECT_EQ(e->type, kVstMidiType);
        EXPECT_EQ(e->byteSize, 24);
        EXPECT_EQ(e->deltaFrames, 0);
        uint32_t m = 0;
        memcpy(&m, e->midiData, 4);
        data.push_back(m);
    }
    gLog.eventBlocks.push_back(data);
    return 0;
}

// Output i receives (i + 1) on every frame, added as the accumulating process does.
void VSTCALLBACK fakeProcess(AEffect *effect, float **inputs, float **outputs, VstInt32 frames) {
    ++gLog.processCalls;
    gLog.frames = frames;
    gLog.inputSeen.clear();
    for (int i = 0; i < effect->numInputs; ++i) gLog.inputSeen.push_back(inputs[i][0]);
    for (int i = 0; i < effect->numOutputs; ++i) {
        for (int k = 0; k < frames; ++k) outputs[i][k] += (float)(i + 1);
    }
}

class BlockProcessing : public ::testing::Test {
protected:
    void SetUp() override {
        gLog = PluginLog();
        memset(&effect, 0, sizeof(effect));
        effect.magic = kEffectMagic;
        effect.dispatcher = fakeDispatcher;
        effect.process = fakeProcess;
        effect.numInputs = 2;
        effect.numOutputs = 2;
        gPlugin.effect = &effect;
        gPlugin.wantsMidi = 0;

        allocate(kBlock);
        setEngine(2, 2);
        setDefaultChannelMaps();
        gEngine.sampleRate = 44100;
        gTempo = 120;
        initTimeInfo();
        initMidi();
        gRecorder.playing = gRecorder.recording = gRecorder.transportPos = gStatusDirty = 0;
        gCpuLoadCounters = CpuLoadCounters{0, 0, 0, 0};
    }
    void TearDown() override {
        gPlugin.effect = nullptr;
        gPlugin.wantsMidi = 0;
        setEngine(0, 0);
        gEngine.silence = gEngine.discard = nullptr;
        gMidiQueue.count = 0;
        gRecorder.playing = gRecorder.recording = gRecorder.transportPos = gStatusDirty = 0;
    }
    // Buffers of the given block length for every driver channel.
    void allocate(int frames) {
        blockSize = frames;
        driverIn.assign(kMaxChannels, std::vector<float>(frames));
        driverOut.assign(kMaxChannels, std::vector<float>(frames));
        silence.assign(frames, 0.0f);
        discard.assign(frames, 0.0f);
    }
    // The engine with the given driver channel counts, each channel with its buffer.
    void setEngine(int inputs, int outputs) {
        gEngine.blockSize = blockSize;
        gEngine.inputCount = inputs;
        gEngine.outputCount = outputs;
        for (int i = 0; i < kMaxChannels; ++i) {
            gEngine.inputs[i] = i < inputs ? driverIn[i].data() : nullptr;
            gEngine.outputs[i] = i < outputs ? driverOut[i].data() : nullptr;
        }
        gEngine.silence = silence.data();
        gEngine.discard = discard.data();
    }
    void fillOutputs(float value) {
        for (auto &b : driverOut) b.assign(blockSize, value);
    }
    bool all(const std::vector<float> &buffer, float value) {
        for (float v : buffer) {
            if (v != value) return false;
        }
        return true;
    }

    AEffect effect;
    int blockSize = kBlock;
    std::vector<std::vector<float>> driverIn, driverOut;
    std::vector<float> silence, discard;
};

TEST_F(BlockProcessing, RoutesInputsAndOutputsThroughTheMaps) {
    setEngine(2, 3);
    gEngine.outputs[2] = nullptr;  // a driver channel without a buffer
    driverIn[0].assign(kBlock, 0.25f);
    driverIn[1].assign(kBlock, 0.5f);
    fillOutputs(9.0f);
    effect.numInputs = 6;
    effect.numOutputs = 7;
    const int32_t inMap[] = {1, -1, 0, 2 /* beyond the engine's inputs */, -4, 5};
    const float inExpected[] = {0.5f, 0.0f, 0.25f, 0.0f, 0.0f, 0.0f};
    // Outputs 0 and 1 go to driver 0, 2 to driver 1; the rest is discarded:
    // -1, a channel without buffer, a channel beyond the engine, a bad negative entry.
    const int32_t outMap[] = {0, 0, 1, -1, 2, 3, -9};
    for (int i = 0; i < 6; ++i) gEngine.inMap[i] = inMap[i];
    for (int i = 0; i < 7; ++i) gEngine.outMap[i] = outMap[i];

    EXPECT_EQ(processBlock(kBlock), 1);

    ASSERT_EQ(gLog.processCalls, 1);
    EXPECT_EQ(gLog.frames, kBlock);
    ASSERT_EQ(gLog.inputSeen.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(gLog.inputSeen[i], inExpected[i]) << "input " << i;
    EXPECT_TRUE(all(driverOut[0], 1.0f + 2.0f));  // two plugin outputs summed on one channel
    EXPECT_TRUE(all(driverOut[1], 3.0f));
    EXPECT_TRUE(all(driverOut[2], 9.0f));  // no buffer registered: never written through
    EXPECT_TRUE(all(driverOut[3], 9.0f));
    EXPECT_TRUE(all(discard, 4.0f + 5.0f + 6.0f + 7.0f));
    EXPECT_TRUE(all(silence, 0.0f));
}

TEST_F(BlockProcessing, OutputsAreClearedBeforeTheAccumulatingProcess) {
    fillOutputs(9.0f);
    for (int block = 0; block < 3; ++block) ASSERT_EQ(processBlock(kBlock), 1);
    EXPECT_TRUE(all(driverOut[0], 1.0f));
    EXPECT_TRUE(all(driverOut[1], 2.0f));
}

TEST_F(BlockProcessing, WithoutPluginReturns0AndCpuLoad0) {
    gPlugin.effect = nullptr;
    fillOutputs(9.0f);
    gCpuLoad = 55.0f;
    ULONG blocks = gRecorder.blockCounter;
    double ppq = gTimeInfo.ppqPos;
    gMidiQueue.push(0x643C90);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(processBlock(kBlock), 0);
    EXPECT_EQ(gCpuLoad, 0.0f);
    EXPECT_EQ(gRecorder.blockCounter, blocks);
    EXPECT_EQ(gTimeInfo.ppqPos, ppq);
    EXPECT_EQ(gMidiQueue.count, 1);
    EXPECT_TRUE(all(driverOut[0], 9.0f));
}

TEST_F(BlockProcessing, UnusableBlockIsNotProcessed) {
    struct Case {
        const char *name;
        int frames;
        bool silenceBuffer, discardBuffer;
    };
    const Case cases[] = {
        {"longer than the engine buffers", kBlock + 1, true, true},
        {"no frames", 0, true, true},
        {"negative frames", -5, true, true},
        {"no silence buffer", kBlock, false, true},
        {"no discard buffer", kBlock, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        gEngine.silence = c.silenceBuffer ? silence.data() : nullptr;
        gEngine.discard = c.discardBuffer ? discard.data() : nullptr;
        EXPECT_EQ(processBlock(c.frames), 0);
        EXPECT_EQ(gLog.processCalls, 0);
    }
}

TEST_F(BlockProcessing, PluginNotAskingForMidiGetsNoEventsAndQueueKeepsThem) {
    gMidiQueue.push(0x643C90);
    gMidiQueue.push(0x403C80);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(processBlock(kBlock), 1);
    EXPECT_EQ(gLog.eventCalls, 0);
    EXPECT_EQ(gLog.processCalls, 4);
    EXPECT_EQ(gMidiQueue.count, 2);
}

TEST_F(BlockProcessing, PluginWantingMidiGetsEventsEveryBlockInArrivalOrder) {
    gPlugin.wantsMidi = 1;
    gMidiQueue.push(0x643C90);
    gMidiQueue.push(0x402EE3);
    gMidiQueue.push(0x05C3);
    ASSERT_EQ(processBlock(kBlock), 1);
    ASSERT_EQ(processBlock(kBlock), 1);
    gMidiQueue.push(0x643C80);
    ASSERT_EQ(processBlock(kBlock), 1);

    EXPECT_EQ(gLog.eventCalls, 3);
    EXPECT_EQ(gLog.eventPointer, (void *)&gPluginEventBlock);
    std::vector<std::vector<uint32_t>> expected = {{0x643C90, 0x402EE3, 0x05C3}, {}, {0x643C80}};
    EXPECT_EQ(gLog.eventBlocks, expected);
    EXPECT_EQ(gMidiQueue.count, 0);
}

TEST_F(BlockProcessing, AtMost256EventsPerBlock) {
    gPlugin.wantsMidi = 1;
    for (uint32_t i = 0; i < 300; ++i) gMidiQueue.push(0x90 | (i & 0x7F) << 8 | (i >> 7) << 16);
    ASSERT_EQ(processBlock(kBlock), 1);
    ASSERT_EQ(processBlock(kBlock), 1);
    ASSERT_EQ(gLog.eventBlocks.size(), 2u);
    ASSERT_EQ(gLog.eventBlocks[0].size(), 256u);
    for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(gLog.eventBlocks[0][i], 0x90 | (i & 0x7F) << 8 | (i >> 7) << 16);
    EXPECT_TRUE(gLog.eventBlocks[1].empty());
}

TEST_F(BlockProcessing, MusicalTimeAdvancesWithTheSettings) {
    // One second at 44100 Hz and 120 beats per minute is two beats.
    const int frames = 441;
    allocate(frames);
    setEngine(2, 2);
    gTimeInfo.sampleRate = 1.0;  // the record's own fields are not what counts
    gTimeInfo.tempo = 999.0;
    for (int i = 0; i < 100; ++i) ASSERT_EQ(processBlock(frames), 1);
    EXPECT_EQ(gTimeInfo.samplePos, 44100.0);
    EXPECT_NEAR(gTimeInfo.ppqPos, 2.0, 1e-9);
    EXPECT_EQ(gTimeInfo.barStartPos, 0.0);
}

TEST_F(BlockProcessing, BarStartStaysUntilTheBarIsComplete) {
    // At 1024 Hz and 120 bpm a beat is 512 frames, so each 64-frame block is exactly
    // 1/8 beat and the positions are exact in binary.
    gEngine.sampleRate = 1024;
    for (int block = 1; block <= 80; ++block) {
        ASSERT_EQ(processBlock(kBlock), 1);
        double ppq = block / 8.0;
        ASSERT_EQ(gTimeInfo.ppqPos, ppq);
        EXPECT_EQ(gTimeInfo.barStartPos, ppq < 4.0 ? 0.0 : ppq < 8.0 ? 4.0 : 8.0) << "block " << block;
    }
}

TEST_F(BlockProcessing, UnusableTempoOrRateLeavesTimeAlone) {
    for (int rate : {0, 44100}) {
        gEngine.sampleRate = rate;
        gTempo = rate ? 0 : 120;
        initTimeInfo();
        ASSERT_EQ(processBlock(kBlock), 1);
        EXPECT_EQ(gTimeInfo.ppqPos, 0.0);
        EXPECT_EQ(gTimeInfo.barStartPos, 0.0);
    }
}

TEST_F(BlockProcessing, MoreThan128PluginChannelsStayInsideTheLists) {
    setEngine(kMaxChannels, kMaxChannels);
    fillOutputs(9.0f);
    for (int i = 0; i < kMaxChannels; ++i) {
        gEngine.inMap[i] = i;
        gEngine.outMap[i] = i;
    }
    struct Case {
        int inputs, outputs;
        bool processed;
    };
    const Case cases[] = {{128, 128, true}, {129, 2, false}, {2, 129, false}, {100000, 100000, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.inputs << " inputs, " << c.outputs << " outputs");
        gLog = PluginLog();
        fillOutputs(9.0f);
        effect.numInputs = c.inputs;
        effect.numOutputs = c.outputs;
        ASSERT_EQ(processBlock(kBlock), 1);
        EXPECT_EQ(gLog.processCalls, c.processed ? 1 : 0);
        int routed = c.outputs < kMaxChannels ? c.outputs : kMaxChannels;
        for (int i = 0; i < kMaxChannels; ++i) {
            float expected = i >= routed ? 9.0f : c.processed ? (float)(i + 1) : 0.0f;
            ASSERT_TRUE(all(driverOut[i], expected)) << "driver output " << i;
        }
    }
}

TEST_F(BlockProcessing, PluginWithoutOutputsOrProcessEntryIsSafe) {
    effect.numOutputs = 0;
    effect.numInputs = -3;
    EXPECT_EQ(processBlock(kBlock), 1);
    EXPECT_EQ(gLog.processCalls, 1);
    EXPECT_TRUE(gLog.inputSeen.empty());
    effect.process = nullptr;
    effect.dispatcher = nullptr;
    gPlugin.wantsMidi = 1;
    gMidiQueue.push(0x643C90);
    EXPECT_EQ(processBlock(kBlock), 1);
    EXPECT_EQ(gMidiQueue.count, 0);
}

TEST_F(BlockProcessing, TransportPositionRunsWhileRecordingOrPlaying) {
    struct Case {
        LONG recording, playing;
        LONG position;
        LONG dirty;
    };
    // Playing with nothing recorded ends at once, before the position moves.
    const Case cases[] = {{0, 0, 0, 0}, {1, 0, kBlock, 1}, {0, 1, 0, 1}, {1, 1, kBlock, 1}};
    for (const Case &c : cases) {
        gRecorder.recording = c.recording;
        gRecorder.playing = c.playing;
        gRecorder.transportPos = 0;
        gStatusDirty = 0;
        ASSERT_EQ(processBlock(kBlock), 1);
        EXPECT_EQ(gRecorder.transportPos, c.position);
        EXPECT_EQ(gStatusDirty, c.dirty);
    }
}

TEST_F(BlockProcessing, BlockCounterCountsProcessedBlocks) {
    gRecorder.blockCounter = 0;
    for (int i = 0; i < 5; ++i) processBlock(kBlock);
    gPlugin.effect = nullptr;
    processBlock(kBlock);
    EXPECT_EQ(gRecorder.blockCounter, 5u);
}

TEST_F(BlockProcessing, CpuLoadIsPublishedEveryQuarterSecondOfAudio) {
    // 44100 Hz, 64-frame blocks: 11025 / 64 -> the 173rd block completes the window.
    gCpuLoad = -1.0f;
    for (int i = 0; i < 172; ++i) ASSERT_EQ(processBlock(kBlock), 1);
    EXPECT_EQ(gCpuLoad, -1.0f);
    ASSERT_EQ(processBlock(kBlock), 1);
    EXPECT_GE(gCpuLoad, 0.0f);
    EXPECT_LE(gCpuLoad, 100.0f);
    EXPECT_EQ(gCpuLoadCounters.frames, 0);
}

TEST(CpuLoadCounters, LoadIsBusyShareOverTheWindow) {
    // 882-frame blocks at 44100 Hz: the 13th block closes the window. Each block is
    // 3 ticks inside and 7 ticks between blocks, the first starting at tick 1000.
    CpuLoadCounters meter = {0, 0, 0, 0};
    float load = -1.0f;
    int64_t t = 1000;
    for (int block = 1; block <= 13; ++block) {
        cpuLoadBlockStart(meter, t);
        bool published = cpuLoadBlockEnd(meter, t, t + 3, 882, 44100, &load);
        EXPECT_EQ(published, block == 13) << block;
        t += 10;
    }
    // idle = 1000 (since 0) + 12 * 7, busy = 13 * 3
    EXPECT_FLOAT_EQ(load, (float)(100.0 * 39.0 / (39.0 + 1084.0)));
    EXPECT_EQ(meter.frames, 0);
    EXPECT_EQ(meter.busy, 0);
    EXPECT_EQ(meter.idle, 0);
    EXPECT_EQ(meter.lastEnd, t - 10 + 3);

    for (int block = 1; block <= 13; ++block) {
        cpuLoadBlockStart(meter, t);
        cpuLoadBlockEnd(meter, t, t + 3, 882, 44100, &load);
        t += 10;
    }
    EXPECT_FLOAT_EQ(load, 30.0f);

    // A clock that does not move gives 0, never a division by zero.
    CpuLoadCounters still = {0, 0, 0, 0};
    cpuLoadBlockStart(still, 0);
    EXPECT_TRUE(cpuLoadBlockEnd(still, 0, 0, 11025, 44100, &load));
    EXPECT_EQ(load, 0.0f);
}

}  // namespace
