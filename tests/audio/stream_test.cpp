#include "audio/engine_state.h"
#include "audio/stream.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include <cmath>
#include <limits>
#include <memory>

namespace {

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
