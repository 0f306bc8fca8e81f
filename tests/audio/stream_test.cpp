#include "audio/engine_state.h"
#include "audio/stream.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include <cmath>
#include <limits>
#include <memory>

namespace {

class EngineBuffers : public ::testing::Test {
protected:
    void TearDown() override {
        freeEngineBuffers();
        gEngine.inputCount = 0;
        gEngine.outputCount = 0;
        setDefaultChannelMaps();
    }
};

void expectAllFreed() {
    EXPECT_EQ(gEngine.bufferFrames, 0);
    EXPECT_EQ(gEngine.silence, nullptr);
    EXPECT_EQ(gEngine.discard, nullptr);
    for (int i = 0; i < kMaxChannels; ++i) {
        EXPECT_EQ(gEngine.inputs[i], nullptr) << i;
        EXPECT_EQ(gEngine.outputs[i], nullptr) << i;
    }
    EXPECT_EQ(gEngine.captureSlotCount, 0);
    EXPECT_EQ(gEngine.captureLeft, nullptr);
    EXPECT_EQ(gEngine.captureRight, nullptr);
    EXPECT_EQ(gEngine.captureSlots, nullptr);
}

TEST_F(EngineBuffers, AllocateSizesOneBufferPerChannelInUseWithinBounds) {
    const struct {
        int32_t inputs, outputs, frames;
        int32_t expectedInputs, expectedOutputs;
    } cases[] = {
        {2, 2, 64, 2, 2},
        {0, 8, 882, 0, 8},
        {200, 300, 16, 128, 128},  // counts beyond the channel limit never index past it
        {-5, 3, 32, 0, 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.inputs);
        gEngine.inputCount = c.inputs;
        gEngine.outputCount = c.outputs;
        ASSERT_TRUE(allocateEngineBuffers(c.frames));
        EXPECT_EQ(gEngine.bufferFrames, c.frames);
        for (int i = 0; i < kMaxChannels; ++i) {
            EXPECT_EQ(gEngine.inputs[i] != nullptr, i < c.expectedInputs) << "input " << i;
            EXPECT_EQ(gEngine.outputs[i] != nullptr, i < c.expectedOutputs) << "output " << i;
        }
        ASSERT_NE(gEngine.silence, nullptr);
        ASSERT_NE(gEngine.discard, nullptr);
        ASSERT_EQ(gEngine.captureSlotCount, captureSlotCount(gEngine.sampleRate, c.frames));
        for (int s = 0; s < gEngine.captureSlotCount; ++s) {
            ASSERT_EQ(gEngine.captureSlots[s].state, kSlotFree);
            ASSERT_NE(gEngine.captureLeft[s], nullptr);
            ASSERT_NE(gEngine.captureRight[s], nullptr);
            gEngine.captureLeft[s][c.frames - 1] = 1.0f;  // the whole block is writable
            gEngine.captureRight[s][c.frames - 1] = 1.0f;
        }
        for (int f = 0; f < c.frames; ++f) {
            ASSERT_EQ(gEngine.silence[f], 0.0f);
            ASSERT_EQ(gEngine.discard[f], 0.0f);
            if (c.expectedInputs) {
                ASSERT_EQ(gEngine.inputs[c.expectedInputs - 1][f], 0.0f);
            }
            if (c.expectedOutputs) {
                ASSERT_EQ(gEngine.outputs[c.expectedOutputs - 1][f], 0.0f);
            }
        }
    }
    freeEngineBuffers();
    expectAllFreed();
}

TEST_F(EngineBuffers, ZeroFramesLeavesNothingAllocated) {
    gEngine.inputCount = 2;
    gEngine.outputCount = 2;
    ASSERT_TRUE(allocateEngineBuffers(64));
    EXPECT_TRUE(allocateEngineBuffers(0));
    expectAllFreed();
}

TEST_F(EngineBuffers, ADriverBlockTooLargeToAllocateIsRefused) {
    gEngine.inputCount = gEngine.outputCount = 2;
    // 0x40000010 frames would wrap the byte count of a 32-bit build to 64 bytes.
    for (int32_t frames : {0x40000010, 0x7FFFFFFF, (1 << 20) + 1}) {
        EXPECT_FALSE(allocateEngineBuffers(frames)) << frames;
        EXPECT_EQ(0, gEngine.bufferFrames);
        EXPECT_EQ(nullptr, gEngine.outputs[0]);
    }
}

TEST_F(EngineBuffers, AllocationClipsBothMapsToTheEngineCounts) {
    const int32_t stored[] = {0, 1, 7, 8, 127, 128, 199, -1, -2, -1000, 3};
    const int32_t afterEight[] = {0, 1, 7, -1, -1, -1, -1, -1, -1, -1, 3};
    const int n = sizeof stored / sizeof stored[0];
    for (int i = 0; i < kMaxChannels; ++i) gEngine.inMap[i] = gEngine.outMap[i] = i < n ? stored[i] : 500;
    gEngine.inputCount = 8;
    gEngine.outputCount = 8;
    ASSERT_TRUE(allocateEngineBuffers(32));
    for (int i = 0; i < kMaxChannels; ++i) {
        const int32_t expected = i < n ? afterEight[i] : -1;
        EXPECT_EQ(gEngine.inMap[i], expected) << i;
        EXPECT_EQ(gEngine.outMap[i], expected) << i;
    }

    // A driver with fewer channels, then the first one again: clipped entries stay -1.
    gEngine.outputCount = 2;
    ASSERT_TRUE(allocateEngineBuffers(32));
    gEngine.outputCount = 8;
    ASSERT_TRUE(allocateEngineBuffers(32));
    const int32_t afterTwo[] = {0, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(gEngine.outMap[i], afterTwo[i]) << i;
        EXPECT_EQ(gEngine.inMap[i], afterEight[i]) << i;
    }
}

TEST(StreamSetup, TwoHundredDriverOutputsUseTheFirst128) {
    std::unique_ptr<DriverInfo> info(new DriverInfo());
    for (ASIOBufferInfo &b : info->bufferInfos) b = {7, 77, {info.get(), info.get()}};
    info->inputChannels = 3;
    info->outputChannels = 200;
    prepareBufferInfos(info.get());
    EXPECT_EQ(info->inputBuffers, 3);
    EXPECT_EQ(info->outputBuffers, 128);
    for (long k = 0; k < 131; ++k) {
        const ASIOBufferInfo &b = info->bufferInfos[k];
        EXPECT_EQ(b.isInput, k < 3 ? 1 : 0) << k;
        EXPECT_EQ(b.channelNum, k < 3 ? k : k - 3) << k;
        EXPECT_EQ(b.buffers[0], nullptr);
        EXPECT_EQ(b.buffers[1], nullptr);
    }

    info->inputChannels = -4;
    info->outputChannels = 2;
    prepareBufferInfos(info.get());
    EXPECT_EQ(info->inputBuffers, 0);
    EXPECT_EQ(info->outputBuffers, 2);
}

TEST(StreamSetup, ABufferTheDriverLeftUnsetFailsTheOpen) {
    std::unique_ptr<DriverInfo> info(new DriverInfo());
    static char memory[8];
    info->inputBuffers = 2;
    info->outputBuffers = 3;
    for (int k = 0; k < 5; ++k) info->bufferInfos[k].buffers[0] = info->bufferInfos[k].buffers[1] = memory;
    EXPECT_TRUE(buffersComplete(*info));
    for (int k = 0; k < 5; ++k) {
        for (int half = 0; half < 2; ++half) {
            info->bufferInfos[k].buffers[half] = nullptr;
            EXPECT_FALSE(buffersComplete(*info)) << "buffer " << k << " half " << half;
            info->bufferInfos[k].buffers[half] = memory;
        }
    }
}

// A driver whose accepted rates and current rate a test sets.
struct FakeRates {
    double accepted[2];  // rates canSampleRate and setSampleRate accept
    bool setFails;       // setSampleRate refuses even accepted rates
    bool getFails;
    double current;
};
FakeRates gRates;

bool accepts(double rate) { return rate == gRates.accepted[0] || rate == gRates.accepted[1]; }
ASIOError fakeCan(double rate) { return accepts(rate) ? ASE_OK : ASE_NoClock; }
ASIOError fakeSet(double rate) {
    if (gRates.setFails || !accepts(rate)) return ASE_InvalidMode;
    gRates.current = rate;
    return ASE_OK;
}
ASIOError fakeGet(double *rate) {
    if (gRates.getFails) return ASE_HWMalfunction;
    *rate = gRates.current;
    return ASE_OK;
}

TEST(StreamSetup, SampleRateFallsBackTo44100ThenToTheDriversRate) {
    const SampleRateOps ops = {fakeCan, fakeSet, fakeGet};
    const struct {
        FakeRates driver;
        double requested;
        bool ok;
        double expected;
    } cases[] = {
        {{{48000, 44100}, false, false, 96000}, 48000, true, 48000},
        {{{44100, 0}, false, false, 96000}, 48000, true, 44100},   // refuses the request, takes 44100
        {{{22050, 0}, false, false, 96000}, 48000, true, 96000},   // refuses both, reports its own
        {{{48000, 44100}, true, false, 32000}, 48000, true, 32000}, // can but cannot set
        {{{48000, 44100}, false, true, 32000}, 48000, false, -1},  // cannot even report
    };
    for (const auto &c : cases) {
        gRates = c.driver;
        double rate = -1;
        EXPECT_EQ(settleSampleRate(ops, c.requested, &rate), c.ok) << c.expected;
        EXPECT_EQ(rate, c.expected);
    }
}

TEST(StreamSetup, EngineRateIsTheDriversRateTruncated) {
    const struct {
        double rate;
        int32_t expected;
    } cases[] = {{44100.0, 44100},
                 {48000.9, 48000},
                 {0.5, 0},
                 {0.0, 0},
                 {-48000.0, 0},
                 {1e12, 0},
                 {std::numeric_limits<double>::quiet_NaN(), 0},
                 {std::numeric_limits<double>::infinity(), 0}};
    for (const auto &c : cases) EXPECT_EQ(engineRateFrom(c.rate), c.expected) << c.rate;
}

}  // namespace
