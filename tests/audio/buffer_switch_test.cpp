#include "audio/buffer_switch.h"
#include "audio/timer_duties.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

const unsigned char kUntouched = 0x55;
const int kFrames = 16;

// Driver buffers laid out as a driver would hand them over, with room beyond
// every half so that writes past frames x bytes-per-sample show.
struct FakeDriver {
    std::unique_ptr<DriverInfo> info{new DriverInfo()};
    std::vector<std::vector<unsigned char>> memory;  // two halves per channel

    FakeDriver(const std::vector<long> &inputTypes, const std::vector<long> &outputTypes, bool postOutput) {
        DriverInfo &d = *info;
        d.inputBuffers = long(inputTypes.size());
        d.outputBuffers = long(outputTypes.size());
        d.bufferPreferredSize = kFrames;
        d.postOutput = postOutput;
        std::vector<long> types = inputTypes;
        types.insert(types.end(), outputTypes.begin(), outputTypes.end());
        memory.resize(types.size() * 2);
        for (size_t k = 0; k < types.size(); ++k) {
            d.bufferInfos[k].isInput = k < inputTypes.size();
            d.channelInfos[k].type = types[k];
            for (int h = 0; h < 2; ++h) {
                memory[2 * k + h].assign(kFrames * 8 + 32, kUntouched);
                d.bufferInfos[k].buffers[h] = memory[2 * k + h].data();
            }
        }
    }
    unsigned char *output(long j, int half) { return memory[2 * (info->inputBuffers + j) + half].data(); }
    unsigned char *input(long i, int half) { return memory[2 * i + half].data(); }
};

// Engine buffers owned by the test.
struct FakeEngine {
    EngineState state = {};
    std::vector<std::vector<float>> inputs, outputs;

    FakeEngine(int inputCount, int outputCount) {
        state.inputCount = inputCount;
        state.outputCount = outputCount;
        state.bufferFrames = kFrames;
        inputs.assign(inputCount, std::vector<float>(kFrames, 7.0f));
        outputs.assign(outputCount, std::vector<float>(kFrames, 0.0f));
        for (int i = 0; i < inputCount; ++i) state.inputs[i] = inputs[i].data();
        for (int i = 0; i < outputCount; ++i) state.outputs[i] = outputs[i].data();
        for (int i = 0; i < kMaxChannels; ++i) state.inMap[i] = state.outMap[i] = -1;
    }
};

// The block processing as the switch sees it: counts its calls and leaves a
// value in every engine output buffer.
EngineState *gProcessEngine = nullptr;
volatile LONG gProcessCalls = 0;
volatile LONG gOutputReadyCalls = 0;
int gProcessResult = 1;
float gProcessValue = 0.5f;

int fakeProcessBlock(int frames) {
    InterlockedIncrement(&gProcessCalls);
    for (int j = 0; j < gProcessEngine->outputCount; ++j)
        for (int f = 0; f < frames; ++f) gProcessEngine->outputs[j][f] = gProcessValue;
    return gProcessResult;
}

ASIOError fakeOutputReady() {
    InterlockedIncrement(&gOutputReadyCalls);
    return ASE_OK;
}

AEffect pluginWith(int inputs, int outputs) {
    AEffect effect = {};
    effect.numInputs = inputs;
    effect.numOutputs = outputs;
    return effect;
}

class BufferSwitch : public ::testing::Test {
protected:
    void SetUp() override {
        gProcessCalls = 0;
        gOutputReadyCalls = 0;
        gProcessResult = 1;
        gProcessValue = 0.5f;
    }
    void run(FakeDriver &driver, FakeEngine &engine, const AEffect *plugin, long half) {
        prepareChannelConverters(*driver.info, &converters);
        gProcessEngine = &engine.state;
        const BufferSwitchContext context = {driver.info.get(), &engine.state, &gate, &converters,
                                             fakeProcessBlock, fakeOutputReady};
        runBufferSwitch(context, plugin, half);
    }
    Gate gate = {1, 1};
    ChannelConverters converters = {};
};

bool allBytes(const unsigned char *p, size_t count, unsigned char value) {
    for (size_t i = 0; i < count; ++i)
        if (p[i] != value) return false;
    return true;
}

TEST_F(BufferSwitch, ClosedGateZeroesEveryOutputHalfAndStillReportsOutputReady) {
    // Sized types are zeroed over exactly frames x size bytes; sizeless ones are left alone.
    const std::vector<long> types = {ASIOSTInt16LSB,  ASIOSTInt24LSB, ASIOSTFloat64LSB, ASIOSTInt32MSB,
                                     ASIOSTInt32LSB16, 5,             40};
    const size_t sizes[] = {2, 3, 8, 4, 4, 0, 0};
    for (bool postOutput : {true, false}) {
        FakeDriver driver({ASIOSTInt16LSB}, types, postOutput);
        FakeEngine engine(1, int(types.size()));
        for (int k = 0; k < kMaxChannels; ++k) engine.state.outMap[k] = k % int(types.size());
        AEffect plugin = pluginWith(1, 8);
        gOutputReadyCalls = 0;
        gate.close();
        run(driver, engine, &plugin, 0);
        EXPECT_EQ(gProcessCalls, 0);
        EXPECT_EQ(gOutputReadyCalls, postOutput ? 1 : 0);
        EXPECT_EQ(gate.counter, gate.level) << "the switch did not give the counter back";
        for (size_t j = 0; j < types.size(); ++j) {
            SCOPED_TRACE(types[j]);
            EXPECT_TRUE(allBytes(driver.output(j, 0), kFrames * sizes[j], 0));
            EXPECT_TRUE(allBytes(driver.output(j, 0) + kFrames * sizes[j], 32, kUntouched));
            EXPECT_TRUE(allBytes(driver.output(j, 1), kFrames * 8 + 32, kUntouched)) << "other half written";
        }
        EXPECT_TRUE(allBytes(driver.input(0, 0), kFrames * 2, kUntouched));
        gate.open();
    }
}

TEST_F(BufferSwitch, OpenGateProcessesAndConvertsRoutedOutputs) {
    FakeDriver driver({}, {ASIOSTInt16LSB, ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTFloat32LSB}, true);
    FakeEngine engine(0, 4);
    // Plugin outputs 0 and 2 name driver output 1, output 1 is discarded, output 3 names driver output 3.
    engine.state.outMap[0] = 1;
    engine.state.outMap[1] = -1;
    engine.state.outMap[2] = 1;
    engine.state.outMap[3] = 3;
    engine.state.outMap[4] = 2;  // beyond the plugin's outputs: takes no part
    AEffect plugin = pluginWith(0, 4);
    run(driver, engine, &plugin, 1);
    EXPECT_EQ(gProcessCalls, 1);
    EXPECT_EQ(gOutputReadyCalls, 1);
    EXPECT_EQ(gate.counter, 1);
    for (int f = 0; f < kFrames; ++f) {
        int16_t routed;
        std::memcpy(&routed, driver.output(1, 1) + 2 * f, 2);
        ASSERT_EQ(routed, 16384);
        float asFloat;
        std::memcpy(&asFloat, driver.output(3, 1) + 4 * f, 4);
        ASSERT_EQ(asFloat, 0.5f);
    }
    // Unrouted driver outputs carry silence even though their engine buffers hold sound.
    EXPECT_TRUE(allBytes(driver.output(0, 1), kFrames * 2, 0));
    EXPECT_TRUE(allBytes(driver.output(2, 1), kFrames * 3, 0));
    for (int j = 0; j < 4; ++j) EXPECT_TRUE(allBytes(driver.output(j, 0), kFrames * 8 + 32, kUntouched)) << j;
}

TEST_F(BufferSwitch, OnlyInputsSomePluginInputUsesAreConverted) {
    FakeDriver driver({ASIOSTInt16LSB, ASIOSTInt16LSB, ASIOSTInt16LSB, ASIOSTInt16LSB}, {ASIOSTInt16LSB}, false);
    for (int i = 0; i < 4; ++i)
        for (int f = 0; f < kFrames; ++f) {
            const int16_t v = 0x4000;  // 0.5
            std::memcpy(driver.input(i, 0) + 2 * f, &v, 2);
        }
    FakeEngine engine(4, 1);
    engine.state.inMap[0] = 2;
    engine.state.inMap[1] = 2;
    engine.state.inMap[2] = 0;  // beyond the plugin's two inputs
    engine.state.inMap[3] = 7;  // no such driver input
    AEffect plugin = pluginWith(2, 1);
    run(driver, engine, &plugin, 0);
    for (int f = 0; f < kFrames; ++f) {
        ASSERT_EQ(engine.inputs[2][f], 0.5f);
        ASSERT_EQ(engine.inputs[0][f], 7.0f);
        ASSERT_EQ(engine.inputs[1][f], 7.0f);
        ASSERT_EQ(engine.inputs[3][f], 7.0f);
    }
}

TEST_F(BufferSwitch, NoProcessedBlockMeansSilence) {
    FakeDriver driver({}, {ASIOSTInt16LSB, ASIOSTInt32LSB}, true);
    FakeEngine engine(0, 2);
    engine.state.outMap[0] = 0;
    engine.state.outMap[1] = 1;
    AEffect plugin = pluginWith(0, 2);
    gProcessResult = 0;  // no plugin loaded
    run(driver, engine, &plugin, 0);
    EXPECT_EQ(gProcessCalls, 1);
    EXPECT_EQ(gOutputReadyCalls, 1);
    EXPECT_TRUE(allBytes(driver.output(0, 0), kFrames * 2, 0));
    EXPECT_TRUE(allBytes(driver.output(1, 0), kFrames * 4, 0));

    // Engine buffers shorter than the driver's block: nothing is processed.
    gProcessResult = 1;
    engine.state.bufferFrames = kFrames - 1;
    std::memset(driver.output(0, 1), kUntouched, kFrames * 2);
    run(driver, engine, &plugin, 1);
    EXPECT_EQ(gProcessCalls, 1);
    EXPECT_TRUE(allBytes(driver.output(0, 1), kFrames * 2, 0));
}

TEST_F(BufferSwitch, ChannelsBeyondTheEngineBuffersAreNeverRead) {
    // The driver has four outputs, the engine only two buffers; a map naming output 3
    // must not reach the engine's (poisoned) slot 3.
    FakeDriver driver({ASIOSTInt16LSB, ASIOSTInt16LSB}, {ASIOSTInt16LSB, ASIOSTInt16LSB, ASIOSTInt16LSB,
                                                         ASIOSTInt16LSB}, false);
    FakeEngine engine(1, 2);
    float *const poison = reinterpret_cast<float *>(uintptr_t(16));
    engine.state.inputs[1] = poison;
    engine.state.outputs[3] = poison;
    engine.state.inMap[0] = 1;
    engine.state.outMap[0] = 3;
    engine.state.outMap[1] = 1;
    AEffect plugin = pluginWith(1000, -3);  // counts from a plugin are bounded too
    run(driver, engine, &plugin, 0);
    EXPECT_EQ(gProcessCalls, 1);
    EXPECT_TRUE(allBytes(driver.output(3, 0), kFrames * 2, 0));

    plugin = pluginWith(1, 1000);
    run(driver, engine, &plugin, 0);
    EXPECT_TRUE(allBytes(driver.output(3, 0), kFrames * 2, 0));
    int16_t v;
    std::memcpy(&v, driver.output(1, 0), 2);
    EXPECT_EQ(v, 16384);

    // A buffer half the driver should never name stays inside the two halves.
    run(driver, engine, &plugin, 5);
    std::memcpy(&v, driver.output(1, 1), 2);
    EXPECT_EQ(v, 16384);
}

TEST_F(BufferSwitch, MappedOutputsOfUnconvertedTypes) {
    // Big-endian: silence. Type 24 and the gaps: not written.
    FakeDriver driver({}, {ASIOSTInt16MSB, ASIOSTInt32LSB16, 6}, false);
    FakeEngine engine(0, 3);
    for (int k = 0; k < 3; ++k) engine.state.outMap[k] = k;
    AEffect plugin = pluginWith(0, 3);
    run(driver, engine, &plugin, 0);
    EXPECT_TRUE(allBytes(driver.output(0, 0), kFrames * 2, 0));
    EXPECT_TRUE(allBytes(driver.output(0, 0) + kFrames * 2, 32, kUntouched));
    EXPECT_TRUE(allBytes(driver.output(1, 0), kFrames * 8 + 32, kUntouched));
    EXPECT_TRUE(allBytes(driver.output(2, 0), kFrames * 8 + 32, kUntouched));
}

// ---- stress: close and open the gate against a fast driver thread ----

struct Stress {
    FakeDriver *driver;
    FakeEngine *engine;
    Gate *gate;
    ChannelConverters *converters;
    volatile LONG stop;
    volatile LONG closedForSure;  // set by the closer after close returned, cleared before open
    volatile LONG blocksWhileClosed;
    volatile LONG blocks;
    volatile LONG processed;
};
Stress *gStress = nullptr;

int stressProcessBlock(int) {
    if (gStress->closedForSure) InterlockedIncrement(&gStress->blocksWhileClosed);
    InterlockedIncrement(&gStress->processed);
    return 1;
}

ASIOError stressOutputReady() {
    InterlockedIncrement(&gStress->blocks);
    return ASE_OK;
}

DWORD WINAPI stressDriverThread(void *) {
    const BufferSwitchContext context = {gStress->driver->info.get(), &gStress->engine->state, gStress->gate,
                                         gStress->converters, stressProcessBlock, stressOutputReady};
    AEffect plugin = pluginWith(2, 2);
    for (long half = 0; !gStress->stop; half ^= 1) runBufferSwitch(context, &plugin, half);
    return 0;
}

// Waits until the counter has moved past start (the driver thread runs free).
bool advanced(volatile LONG *counter, LONG start) {
    for (DWORD t0 = GetTickCount(); *counter - start < 2;) {
        if (GetTickCount() - t0 > 30000) return false;
        SwitchToThread();
    }
    return true;
}

DWORD WINAPI stressCloser(void *arg) {
    const int cycles = *static_cast<int *>(arg);
    for (int i = 0; i < cycles; ++i) {
        gStress->gate->close();
        gStress->closedForSure = 1;
        if (!advanced(&gStress->blocks, gStress->blocks)) return 1;  // silent blocks happen while closed
        gStress->closedForSure = 0;
        gStress->gate->open();
        if (!advanced(&gStress->processed, gStress->processed)) return 2;
    }
    return 0;
}

TEST(BufferSwitchStress, NoBlockIsProcessedWhileTheGateIsClosed) {
    FakeDriver driver({ASIOSTInt16LSB, ASIOSTInt16LSB}, {ASIOSTInt32LSB, ASIOSTInt32LSB}, true);
    FakeEngine engine(2, 2);
    engine.state.inMap[0] = 0;
    engine.state.inMap[1] = 1;
    engine.state.outMap[0] = 0;
    engine.state.outMap[1] = 1;
    Gate gate = {1, 1};
    ChannelConverters converters;
    prepareChannelConverters(*driver.info, &converters);
    Stress stress = {&driver, &engine, &gate, &converters, 0, 0, 0, 0, 0};
    gStress = &stress;

    HANDLE driverThread = CreateThread(nullptr, 0, stressDriverThread, nullptr, 0, nullptr);
    int cycles = 300;
    HANDLE closer = CreateThread(nullptr, 0, stressCloser, &cycles, 0, nullptr);
    const DWORD waited = WaitForSingleObject(closer, 300000);
    stress.stop = 1;
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "closing the gate deadlocked";
    ASSERT_EQ(WaitForSingleObject(driverThread, 30000), WAIT_OBJECT_0);
    DWORD closerResult = 99;
    GetExitCodeThread(closer, &closerResult);
    EXPECT_EQ(closerResult, 0u) << "the driver thread stopped making progress";
    EXPECT_EQ(stress.blocksWhileClosed, 0);
    EXPECT_GE(stress.processed, 2 * cycles);
    EXPECT_GT(stress.blocks - stress.processed, 0) << "no block ever met a closed gate";
    EXPECT_EQ(gate.level, 1);
    EXPECT_EQ(gate.counter, 1);
    CloseHandle(driverThread);
    CloseHandle(closer);
    gStress = nullptr;
}

// ---- the other callbacks ----

TEST(DriverCallbacks, AsioMessageAnswers) {
    const struct {
        long selector, value, answer;
    } cases[] = {
        {kAsioSelectorSupported, kAsioEngineVersion, 1},   {kAsioSelectorSupported, kAsioResetRequest, 1},
        {kAsioSelectorSupported, kAsioResyncRequest, 1},   {kAsioSelectorSupported, kAsioLatenciesChanged, 1},
        {kAsioSelectorSupported, kAsioBufferSizeChange, 0}, {kAsioSelectorSupported, kAsioSupportsTimeInfo, 0},
        {kAsioSelectorSupported, kAsioSelectorSupported, 0}, {kAsioEngineVersion, 0, 2},
        {kAsioBufferSizeChange, 256, 0},                   {kAsioResyncRequest, 0, 1},
        {kAsioLatenciesChanged, 0, 1},                     {kAsioSupportsTimeInfo, 0, 0},
        {kAsioSupportsTimeCode, 0, 0},                     {0, 0, 0},
        {-7, 0, 0},                                        {1000, 0, 0},
    };
    gDriverResetRequest = 0;
    for (const auto &c : cases) {
        EXPECT_EQ(asioMessage(c.selector, c.value, nullptr, nullptr), c.answer) << c.selector << "/" << c.value;
        EXPECT_EQ(gDriverResetRequest, 0) << "only the reset request sets the flag";
    }
    EXPECT_EQ(asioMessage(kAsioResetRequest, 0, nullptr, nullptr), 1);
    EXPECT_EQ(gDriverResetRequest, 1);
    gDriverResetRequest = 0;
}

TEST(DriverCallbacks, SampleRateChangeOnlyLeavesAPendingRate) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double reported;
        LONG pending;
    } cases[] = {{48000.0, 48000}, {96000.75, 96000}, {nan, 96000}, {-44100.0, 96000},
                 {0.25, 96000},    {5e12, 96000},     {22050.0, 22050}};
    gPendingSampleRate = 0;
    for (const auto &c : cases) {
        sampleRateDidChange(c.reported);
        EXPECT_EQ(gPendingSampleRate, c.pending) << c.reported;
    }
    gPendingSampleRate = 0;
}

TEST(CpuDisplay, WritesOnlyWhenTheValueChanges) {
    float shown = -1.0f;
    wchar_t text[32] = L"";
    const struct {
        float load;
        bool writes;
        const wchar_t *text;
    } steps[] = {{0.0f, true, L"CPU: 0.0%"},  {0.0f, false, L"CPU: 0.0%"}, {12.34f, true, L"CPU: 12.3%"},
                 {12.34f, false, L"CPU: 12.3%"}, {99.96f, true, L"CPU: 100.0%"}, {0.0f, true, L"CPU: 0.0%"}};
    for (const auto &s : steps) {
        EXPECT_EQ(nextCpuMeterText(s.load, &shown, L"CPU: %.1f%%", text, 32), s.writes) << s.load;
        EXPECT_STREQ(text, s.text);
        EXPECT_EQ(shown, s.load);
    }
}

}  // namespace
