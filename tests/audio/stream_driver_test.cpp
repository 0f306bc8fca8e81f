// The stream set-up, the buffer switch and the timer duties against the test ASIO
// driver, with a hand-made plugin in the process-wide plugin record.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/buffer_switch.h"
#include "audio/driver_list.h"
#include "audio/engine_state.h"
#include "audio/stream.h"
#include "audio/test_driver_registry.h"
#include "audio/timer_duties.h"
#include "core/gate.h"
#include "engine/engine_hooks.h"
#include "plugin/plugin_instance.h"
#include "support/wav_file.h"

namespace {

const DWORD kGenerous = 30000;  // ms; reached only when something is broken

// ---- a plugin that writes 0.25 into every output and notes what it is told ----

volatile LONG gProcessCalls = 0;
float gToldRate = 0.0f;
VstIntPtr gToldBlock = 0;

VstIntPtr VSTCALLBACK pluginDispatcher(AEffect *, VstInt32 opcode, VstInt32, VstIntPtr value, void *, float opt) {
    if (opcode == effSetSampleRate) gToldRate = opt;
    if (opcode == effSetBlockSize) gToldBlock = value;
    return 0;
}

void VSTCALLBACK pluginProcess(AEffect *effect, float **, float **outputs, VstInt32 frames) {
    for (int k = 0; k < effect->numOutputs; ++k)
        for (int f = 0; f < frames; ++f) outputs[k][f] += 0.25f;
    InterlockedIncrement(&gProcessCalls);
}

// ---- message boxes: the watcher reads and dismisses every box captioned "Korvane" ----

struct BoxWatcher {
    volatile LONG stop = 0;
    volatile LONG boxes = 0;
    std::string lastText;
    HANDLE thread = nullptr;

    static BOOL CALLBACK collect(HWND child, LPARAM param) {
        char text[256] = "";
        GetWindowTextA(child, text, sizeof text);
        if (std::string(text).find("ASIO") != std::string::npos) *reinterpret_cast<std::string *>(param) = text;
        return TRUE;
    }
    static DWORD WINAPI run(void *arg) {
        BoxWatcher *w = static_cast<BoxWatcher *>(arg);
        HWND handled = nullptr;
        while (!w->stop) {
            HWND box = FindWindowA("#32770", "Korvane");
            if (box && box != handled && IsWindowVisible(box)) {
                std::string text;
                EnumChildWindows(box, collect, reinterpret_cast<LPARAM>(&text));
                w->lastText = text;
                InterlockedIncrement(&w->boxes);
                handled = box;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(5);  // polling for a window: there is nothing to wait on
        }
        return 0;
    }
    BoxWatcher() { thread = CreateThread(nullptr, 0, run, this, 0, nullptr); }
    ~BoxWatcher() {
        stop = 1;
        WaitForSingleObject(thread, kGenerous);
        CloseHandle(thread);
    }
};

int gRefreshCalls = 0;
bool gRefreshOpened = false;
void refreshHook(bool opened) {
    ++gRefreshCalls;
    gRefreshOpened = opened;
}

// Waits for a condition the driver's thread makes true.
template <typename F>
bool waitFor(F condition) {
    for (DWORD t0 = GetTickCount(); !condition();) {
        if (GetTickCount() - t0 > kGenerous) return false;
        Sleep(1);
    }
    return true;
}

class StreamWithDriver : public ::testing::Test {
protected:
    void SetUp() override {
        installEngine();
        effect = AEffect();
        effect.magic = kEffectMagic;
        effect.dispatcher = pluginDispatcher;
        effect.process = pluginProcess;
        effect.numInputs = 2;
        effect.numOutputs = 2;
        gPlugin.effect = &effect;
        gProcessCalls = 0;
        gToldRate = 0.0f;
        gToldBlock = 0;
        gRefreshCalls = 0;
        gSettingsDialogRefresh = refreshHook;
        gEngine.sampleRate = 44100;
        gEngine.blockSize = 882;
        setDefaultChannelMaps();
    }
    void TearDown() override {
        closeStream();
        resetDriverConnection();
        freeEngineBuffers();
        gEngine.driverIndex = -1;
        gEngine.inputCount = gEngine.outputCount = 0;
        gEngine.sampleRate = 44100;
        gEngine.blockSize = 882;
        gSettingsDialogRefresh = nullptr;
        gPlugin.effect = nullptr;
        gDriverResetRequest = 0;
        gPendingSampleRate = 0;
        drivers.reset();
        gDriverList.build();
    }

    // Registers a driver, rebuilds the lists and chooses it.
    void choose(const std::string &name, const char *clsid, testdriver::Config config) {
        if (!drivers) drivers.reset(new testdriver::ScopedDrivers());
        ASSERT_TRUE(drivers->add(name, clsid, name.c_str(), config));
        gDriverList.build();
        resetDriverConnection();
        gEngine.driverIndex = indexOf(name);
        ASSERT_GE(gEngine.driverIndex, 0);
    }
    static int32_t indexOf(const std::string &name) {
        for (LONG id = 0; id < gDriverList.count(); ++id) {
            char text[128] = "";
            if (gDriverList.getName(id, text, sizeof text) == DRVERR_OK && name == text) return id;
        }
        return -1;
    }
    void expectGateOpen() {
        EXPECT_EQ(gEngineGate.level, 1);
        EXPECT_EQ(gEngineGate.counter, 1);
        EXPECT_EQ(gCaptureLock.level, 1);
    }

    AEffect effect;
    std::unique_ptr<testdriver::ScopedDrivers> drivers;
};

const char kClsidA[] = "{3C1E9A60-7B2F-4D51-9E83-0A6B5C4D2E11}";
const char kClsidB[] = "{3C1E9A60-7B2F-4D51-9E83-0A6B5C4D2E12}";

TEST_F(StreamWithDriver, OpensAtTheEngineRateWithTheDriversBlockAndRoutes) {
    const std::string recording = testdriver::tempPath("korvane-stream-routing.wav");
    choose("Korvane Stream A", kClsidA,
           testdriver::Config()
               .set("SampleType", DWORD(ASIOSTInt16LSB))
               .set("PreferredSize", 128)
               .set("OutputFill", 0x55)
               .set("OutputReady", 1)
               .set("Fast", 1)
               .set("Record", recording));
    gEngine.sampleRate = 48000;
    gEngine.outMap[0] = 1;   // plugin output 0 to driver output 1
    gEngine.outMap[1] = -1;  // plugin output 1 discarded; driver output 0 gets nothing
    BoxWatcher boxes;
    reopenEngine(nullptr);
    EXPECT_EQ(boxes.boxes, 0);
    EXPECT_EQ(gEngine.blockSize, 128);
    EXPECT_EQ(gEngine.sampleRate, 48000);
    EXPECT_EQ(gEngine.inputCount, 2);
    EXPECT_EQ(gEngine.outputCount, 2);
    EXPECT_EQ(gEngine.bufferFrames, 128);
    EXPECT_EQ(gToldRate, 48000.0f);
    EXPECT_EQ(gToldBlock, 128);
    EXPECT_TRUE(gDriverInfo.postOutput);
    EXPECT_EQ(gRefreshCalls, 1);
    EXPECT_TRUE(gRefreshOpened);
    expectGateOpen();

    ASSERT_TRUE(waitFor([] { return gProcessCalls >= 20; })) << "the driver's buffer switch never processed";
    closeStream();
    const testing_support::WavData wav = testing_support::readWav(recording);
    ASSERT_TRUE(wav.ok);
    ASSERT_EQ(wav.channels, 2);
    ASSERT_GE(wav.frames(), 20u * 128);
    size_t loud = 0;
    for (size_t f = 0; f < wav.frames(); ++f) {
        ASSERT_EQ(wav.samples[0][f], 0.0f) << "unrouted driver output at frame " << f;
        const float v = wav.samples[1][f];
        ASSERT_TRUE(v == 0.0f || v == 0.25f) << v << " at frame " << f;
        loud += v == 0.25f;
    }
    EXPECT_GE(loud, 19u * 128);
    DeleteFileA(recording.c_str());
}

TEST_F(StreamWithDriver, SampleRateFallsBackAndThePluginFollows) {
    const struct {
        const char *rates;
        DWORD current;
        DWORD failSet;
        int32_t requested, expected;
    } cases[] = {
        {"44100", 44100, 0, 48000, 44100},         // refuses the request, accepts 44100
        {"96000", 96000, 0, 48000, 96000},         // refuses both, reports its own
        {"44100,48000", 48000, 1, 44100, 48000},   // cannot set at all, reports its own
    };
    const char *clsids[] = {kClsidA, kClsidB, "{3C1E9A60-7B2F-4D51-9E83-0A6B5C4D2E13}"};
    int i = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rates);
        choose("Korvane Stream Rate " + std::to_string(i), clsids[i],
               testdriver::Config()
                   .set("Rates", std::string(c.rates))
                   .set("CurrentRate", c.current)
                   .set("FailSetSampleRate", c.failSet));
        ++i;
        gEngine.sampleRate = c.requested;
        BoxWatcher boxes;
        reopenEngine(nullptr);
        EXPECT_EQ(boxes.boxes, 0);
        EXPECT_EQ(gEngine.sampleRate, c.expected);
        EXPECT_EQ(gToldRate, float(c.expected));
        closeStream();
    }
}

TEST_F(StreamWithDriver, MapEntriesBeyondTheDriverBecomeNoneAndStaySo) {
    choose("Korvane Stream Wide", kClsidA, testdriver::Config().set("Outputs", 200).set("Inputs", 3));
    choose("Korvane Stream Narrow", kClsidB, testdriver::Config().set("Outputs", 2).set("Inputs", 2));
    const int32_t wide = indexOf("Korvane Stream Wide"), narrow = indexOf("Korvane Stream Narrow");
    gEngine.outMap[0] = 150;
    gEngine.outMap[1] = 127;
    gEngine.outMap[2] = 128;
    gEngine.outMap[3] = 1;
    gEngine.inMap[0] = 2;
    BoxWatcher boxes;
    gEngine.driverIndex = wide;
    reopenEngine(nullptr);
    EXPECT_EQ(gDriverInfo.outputChannels, 200);
    EXPECT_EQ(gEngine.outputCount, 128);
    EXPECT_EQ(gEngine.inputCount, 3);
    EXPECT_EQ(gEngine.outMap[0], -1);
    EXPECT_EQ(gEngine.outMap[1], 127);
    EXPECT_EQ(gEngine.outMap[2], -1);
    EXPECT_EQ(gEngine.outMap[3], 1);
    EXPECT_EQ(gEngine.inMap[0], 2);

    gEngine.driverIndex = narrow;
    reopenEngine(nullptr);
    EXPECT_EQ(gEngine.outMap[1], -1);
    EXPECT_EQ(gEngine.outMap[3], 1);
    EXPECT_EQ(gEngine.inMap[0], -1);

    gEngine.driverIndex = wide;
    reopenEngine(nullptr);
    EXPECT_EQ(gEngine.outMap[1], -1);
    EXPECT_EQ(gEngine.inMap[0], -1);
    EXPECT_EQ(boxes.boxes, 0);
}

TEST_F(StreamWithDriver, NoDriverChosenClosesEverythingQuietly) {
    choose("Korvane Stream A", kClsidA, testdriver::Config());
    BoxWatcher boxes;
    reopenEngine(nullptr);
    ASSERT_EQ(gEngine.outputCount, 2);
    gRefreshCalls = 0;
    gEngine.driverIndex = -1;
    reopenEngine(nullptr);
    EXPECT_EQ(gEngine.inputCount, 0);
    EXPECT_EQ(gEngine.outputCount, 0);
    EXPECT_EQ(gEngine.bufferFrames, 0);
    EXPECT_EQ(gEngine.silence, nullptr);
    EXPECT_EQ(gEngine.outputs[0], nullptr);
    EXPECT_EQ(currentAsioDriver(), nullptr);
    EXPECT_EQ(gRefreshCalls, 0);
    EXPECT_EQ(boxes.boxes, 0);
    expectGateOpen();
}

TEST_F(StreamWithDriver, AFailedOpenReportsOnceAndLeavesTheEngineSilent) {
    const struct {
        const char *what;
        const char *value;
        DWORD number;
    } cases[] = {
        {"FailInit", nullptr, 1},
        {"FailCreateBuffers", nullptr, 1},
        {"FailStart", nullptr, 1},
        {"NullBuffer", nullptr, 3},  // a driver that leaves a buffer unset
        {"FailOps", "getChannelInfo", 0},
        {"FailOps", "getLatencies", 0},
        {"FailOps", "getBufferSize", 0},
    };
    int i = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        testdriver::Config config;
        config.set("Outputs", 4).set("Fast", 1);
        if (c.value)
            config.set(c.what, std::string(c.value));
        else
            config.set(c.what, c.number);
        char clsid[64];
        snprintf(clsid, sizeof clsid, "{3C1E9A60-7B2F-4D51-9E83-0A6B5C4D2F%02d}", i);
        choose("Korvane Stream Failing " + std::to_string(i++), clsid, config);
        gRefreshCalls = 0;
        gProcessCalls = 0;
        BoxWatcher boxes;
        reopenEngine(nullptr);
        EXPECT_EQ(boxes.boxes, 1);
        // Only a failed init carries the driver's own reason.
        EXPECT_EQ(boxes.lastText, std::string(c.what) == "FailInit"
                                      ? "Failed to initialize ASIO driver.\nKorvane Test ASIO failed to initialise"
                                      : "Failed to initialize ASIO driver.");
        EXPECT_EQ(gEngine.inputCount, 0);
        EXPECT_EQ(gEngine.outputCount, 0);
        EXPECT_EQ(gRefreshCalls, 1);
        EXPECT_FALSE(gRefreshOpened);
        expectGateOpen();
    }
    EXPECT_EQ(gProcessCalls, 0);
}

TEST_F(StreamWithDriver, PreferredSizeZeroKeepsTheBlockSizeAt882) {
    choose("Korvane Stream A", kClsidA, testdriver::Config().set("PreferredSize", 0));
    gEngine.blockSize = 256;
    BoxWatcher boxes;
    reopenEngine(nullptr);
    EXPECT_EQ(boxes.boxes, 0);
    EXPECT_EQ(gEngine.blockSize, 882);
    EXPECT_EQ(gToldBlock, 882);
}

TEST_F(StreamWithDriver, DriverRequestsAreServedByTheTimer) {
    const std::string log = testdriver::tempPath("korvane-stream-requests.log");
    DeleteFileA(log.c_str());
    choose("Korvane Stream A", kClsidA,
           testdriver::Config()
               .set("ResetAfterMs", 30)
               .set("RateChangeAfterMs", 60)
               .set("RateChangeTo", 48000)
               .set("Log", log));
    BoxWatcher boxes;
    reopenEngine(nullptr);
    ASSERT_TRUE(waitFor([] { return gDriverResetRequest != 0; }));
    ASSERT_TRUE(waitFor([] { return gPendingSampleRate != 0; }));
    EXPECT_EQ(gPendingSampleRate, 48000);
    EXPECT_EQ(gEngine.sampleRate, 44100) << "the rate changed on the driver's thread";

    serveDriverReset(nullptr);
    EXPECT_EQ(gDriverResetRequest, 0);
    applyPendingSampleRate();
    EXPECT_EQ(gPendingSampleRate, 0);
    EXPECT_EQ(gEngine.sampleRate, 48000);
    EXPECT_EQ(gToldRate, 48000.0f);
    EXPECT_EQ(gToldBlock, 256);
    expectGateOpen();
    closeStream();

    const std::string calls = testdriver::readFile(log);
    size_t starts = 0;
    for (size_t at = calls.find("start\r\n"); at != std::string::npos; at = calls.find("start\r\n", at + 1))
        ++starts;
    EXPECT_EQ(starts, 2u) << "the reset request did not re-open the driver\n" << calls;
    EXPECT_EQ(boxes.boxes, 0);
    DeleteFileA(log.c_str());
}

}  // namespace
