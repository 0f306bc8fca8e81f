#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

#include "audio/engine_state.h"
#include "engine/capture_files.h"
#include "engine/engine_hooks.h"

namespace {

// The engine buffers as the program sizes them: with the capture ring.
class EngineBuffers : public ::testing::Test {
protected:
    void SetUp() override { installEngine(); }
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
    EXPECT_EQ(gCaptureRing.slotCount, 0);
    EXPECT_EQ(gCaptureRing.left, nullptr);
    EXPECT_EQ(gCaptureRing.right, nullptr);
    EXPECT_EQ(gCaptureRing.slots, nullptr);
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
        ASSERT_EQ(gCaptureRing.slotCount, captureSlotCount(gEngine.sampleRate, c.frames));
        for (int s = 0; s < gCaptureRing.slotCount; ++s) {
            ASSERT_EQ(gCaptureRing.slots[s].state, kSlotFree);
            ASSERT_NE(gCaptureRing.left[s], nullptr);
            ASSERT_NE(gCaptureRing.right[s], nullptr);
            gCaptureRing.left[s][c.frames - 1] = 1.0f;  // the whole block is writable
            gCaptureRing.right[s][c.frames - 1] = 1.0f;
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

}  // namespace
