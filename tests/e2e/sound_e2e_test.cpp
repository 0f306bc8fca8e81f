// The real program under Wine with the demo instrument and the test ASIO driver:
// typed keys become notes in the driver's recording.
#include <gtest/gtest.h>

#include <initializer_list>

#include <cmath>
#include <cstdio>

#include "audio/asio.h"
#include "audio/test_driver_registry.h"
#include "support/korvane_settings.h"
#include "support/program_runner.h"
#include "support/program_ui.h"
#include "support/wav_file.h"

using namespace testing_support;

namespace {

const char kDriverName[] = "Korvane E2E Driver";
const char kDriverClsid[] = "{6B1F3A52-2C4D-4E8F-9A10-5D7E0C3B8A41}";
const int kRate = 44100;
const float kNoteLevel = 0.25f * 100 / 127;  // the demo's level at velocity 100, output 0

double noteFrequency(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

class SoundPath : public ::testing::Test {
protected:
    void SetUp() override {
        folder = tempFolder("sound");
        recording = folder + "\\driver-output.wav";
        log = folder + "\\calls.log";
        DeleteFileA(recording.c_str());
        clearKorvaneSettings();
    }
    void TearDown() override { clearKorvaneSettings(); }

    // Registers the driver with its configuration and chooses it by the stored index.
    void chooseDriver(testdriver::Config config) {
        config.set("Record", recording).set("Rates", std::string("44100,48000")).set("CurrentRate", kRate);
        ASSERT_TRUE(testdriver::addChosenDriver(drivers, kDriverName, kDriverClsid, config, kRate));
    }

    size_t bytesPerSecond(int channels) const { return (size_t)kRate * channels * 4; }

    // Holds the key with this scan code for about `seconds` of driver time, then
    // releases it and lets `after` seconds more pass; then closes the program.
    void playKey(int scanCode, double seconds = 0.4, double after = 0.3) {
        RunningProgram program;
        ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_LOG", log}, {"KORVANE_DEMO_VARIANT", ""}}));
        HWND window = program.waitForMainWindow();
        ASSERT_NE(nullptr, window);
        // The stream is running once the recording grows.
        ASSERT_TRUE(waitForFileSize(recording, 44 + bytesPerSecond(2) / 10));
        size_t at = fileSize(recording);
        PostMessageA(window, WM_KEYDOWN, 'Z', keyParam(scanCode, false));
        ASSERT_TRUE(waitForFileSize(recording, at + (size_t)(seconds * bytesPerSecond(2))));
        at = fileSize(recording);
        PostMessageA(window, WM_KEYUP, 'Z', keyParam(scanCode, true));
        ASSERT_TRUE(waitForFileSize(recording, at + (size_t)(after * bytesPerSecond(2))));
        PostMessageA(window, WM_CLOSE, 0, 0);
        ASSERT_EQ(0, program.waitForExit());
    }

    // The note sounded for a while at the expected pitch and level, then fell silent.
    void expectNote(const std::vector<float> &channel, int note, float level) {
        size_t first = 0, last = 0;
        ASSERT_TRUE(loudRegion(channel, level / 4, &first, &last)) << "no sound at all";
        double held = (last - first) / (double)kRate;
        EXPECT_GT(held, 0.3) << "sounded for " << held << " s";
        double f = zeroCrossingFrequency(channel, kRate, first + kRate / 100, last - kRate / 20);
        EXPECT_NEAR(noteFrequency(note), f, noteFrequency(note) * 0.01);
        EXPECT_NEAR(level, peak(channel, first, last), level * 0.05);
        // Silent after the release.
        EXPECT_GT((channel.size() - last) / (double)kRate, 0.15);
        EXPECT_LT(peak(channel, last + kRate / 20, channel.size()), 1e-4f);  // the release lasts 50 ms
    }

    testdriver::ScopedDrivers drivers;
    std::string folder, recording, log;
};

}  // namespace

TEST_F(SoundPath, ZPlaysNote48AndQPlaysNote60) {
    struct Case {
        int scanCode;
        int note;
    } cases[] = {{44, 48}, {16, 60}};
    chooseDriver(testdriver::Config().set("SampleType", ASIOSTFloat32LSB));
    for (const Case &c : cases) {
        DeleteFileA(recording.c_str());
        playKey(c.scanCode);
        WavData wav = readWav(recording);
        ASSERT_TRUE(wav.ok);
        ASSERT_EQ(2, wav.channels);
        expectNote(wav.samples[0], c.note, kNoteLevel);
        expectNote(wav.samples[1], c.note, kNoteLevel / 2);  // the demo's output 1 is half as loud
    }
}

TEST_F(SoundPath, UnroutedOutputLeavesTheLeftChannelSilent) {
    chooseDriver(testdriver::Config().set("SampleType", ASIOSTFloat32LSB));
    storeMap("OutMap", {-1, 1});
    playKey(44);
    WavData wav = readWav(recording);
    ASSERT_TRUE(wav.ok);
    EXPECT_EQ(0.0f, peak(wav.samples[0], 0, wav.frames()));
    expectNote(wav.samples[1], 48, kNoteLevel / 2);
}

TEST_F(SoundPath, IntegerDriverFormatsReceiveTheConvertedSignal) {
    for (long type : {(long)ASIOSTInt16LSB, (long)ASIOSTInt24LSB}) {
        SCOPED_TRACE(type);
        DeleteFileA(recording.c_str());
        chooseDriver(testdriver::Config().set("SampleType", (DWORD)type));
        playKey(44);
        WavData wav = readWav(recording);
        ASSERT_TRUE(wav.ok);
        expectNote(wav.samples[0], 48, kNoteLevel);
        expectNote(wav.samples[1], 48, kNoteLevel / 2);
    }
}

TEST_F(SoundPath, DriverFailingInitShowsTheMessageWithItsOwnReasonOnceAndTheProgramStaysUsable) {
    chooseDriver(testdriver::Config().set("FailInit", 1).set("ErrorText", std::string("no hardware")));
    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_LOG", log}, {"KORVANE_DEMO_VARIANT", ""}}));
    ASSERT_EQ(0u, WaitForInputIdle(program.process(), 30000));

    // The message box, owned by the (not yet shown) main window.
    HWND box = nullptr;
    for (HWND w : program.topLevelWindows())
        if (windowClass(w) == "#32770") box = w;
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Korvane", windowText(box));
    bool hasText = false;
    for (HWND child : childWindows(box))
        if (windowText(child) == "Failed to initialize ASIO driver.\nno hardware") hasText = true;
    EXPECT_TRUE(hasText);
    PostMessageA(box, WM_COMMAND, IDOK, 0);

    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    // Only the main window now: the message came once.
    std::vector<HWND> windows = program.topLevelWindows();
    ASSERT_EQ(1u, windows.size());
    EXPECT_EQ(window, windows[0]);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());
}

namespace {
int countLines(const std::string &path, const std::string &prefix) {
    int n = 0;
    for (const std::string &line : readLines(path))
        if (line.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
}
}  // namespace

TEST_F(SoundPath, DriverResetAndRateChangeAreServedByTheTimer) {
    std::string driverLog = folder + "\\driver.log";
    DeleteFileA(driverLog.c_str());
    chooseDriver(testdriver::Config()
                     .set("SampleType", ASIOSTFloat32LSB)
                     .set("Log", driverLog)
                     .set("ResetAfterMs", 300)
                     .set("RateChangeAfterMs", 200)
                     .set("RateChangeTo", 48000));
    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_LOG", log}, {"KORVANE_DEMO_VARIANT", ""}}));
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);

    // The rate change reaches the plugin from the GUI thread's timer.
    ASSERT_TRUE(waitForLogLine(log, "dispatch 10 0 0 48000"));
    // The reset request re-opens the engine: the driver's buffers are made a second time.
    EXPECT_TRUE(waitForChangeIn(
        folder, [](const void *path) { return countLines(*(const std::string *)path, "createBuffers") >= 2; },
        &driverLog, 30000));

    // The CPU meter shows a measured load in its format.
    HWND meter = nullptr;
    for (HWND child : childWindows(window))
        if (windowText(child).compare(0, 5, "CPU: ") == 0) meter = child;
    ASSERT_NE(nullptr, meter);
    float load = -1;
    EXPECT_EQ(1, sscanf(windowText(meter).c_str(), "CPU: %f%%", &load));
    EXPECT_GE(load, 0.0f);
    EXPECT_LE(load, 100.0f);

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());
    // Every driver object the program created was stopped and released again.
    EXPECT_GE(countLines(driverLog, "stop"), 2);
    EXPECT_EQ(countLines(driverLog, "create "), countLines(driverLog, "release "));
}

namespace {
// Counts the messages in the plugin's "events" lines that equal `message` (6 hex digits).
int countEvents(const std::string &log, const std::string &message) {
    int n = 0;
    for (const std::string &line : readLines(log)) {
        if (line.compare(0, 7, "events ") != 0) continue;
        for (size_t at = line.find(' ' + message); at != std::string::npos; at = line.find(' ' + message, at + 1))
            ++n;
    }
    return n;
}
}  // namespace

TEST_F(SoundPath, HeldKeyEndsOnceWhenAnotherProgramOrTheMenuTakesTheKeys) {
    chooseDriver(testdriver::Config().set("SampleType", ASIOSTFloat32LSB));
    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_LOG", log}, {"KORVANE_DEMO_VARIANT", ""}}));
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    PostMessageA(window, WM_KEYDOWN, 'Z', keyParam(44, false));
    ASSERT_TRUE(waitForLogLine(log, "events 1 643090"));

    // A window of this process, another program to Korvane, takes the focus while Z is down.
    HWND other = CreateWindowExA(0, "STATIC", "Another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, other);
    SetForegroundWindow(other);
    SetFocus(other);
    EXPECT_TRUE(waitForLogLine(log, "events 1 643080"));

    // Back in Korvane with Z still down: its keyboard repeat and its key-up end nothing twice.
    SetForegroundWindow(window);
    PostMessageA(window, WM_KEYDOWN, 'Z', keyParam(44, false) | (LPARAM)1 << 30);
    PostMessageA(window, WM_KEYUP, 'Z', keyParam(44, true));

    // The menu takes the keys (Alt) while X is down; the menu loop swallows X's key-up.
    PostMessageA(window, WM_KEYDOWN, 'X', keyParam(45, false));
    ASSERT_TRUE(waitForLogLine(log, "events 1 643290"));
    PostMessageA(window, WM_SYSCOMMAND, SC_KEYMENU, 0);
    EXPECT_TRUE(waitForLogLine(log, "events 1 643280"));
    PostMessageA(window, WM_KEYUP, 'X', keyParam(45, true));
    PostMessageA(window, WM_CANCELMODE, 0, 0);

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());
    DestroyWindow(other);
    for (const char *message : {"643090", "643080", "643290", "643280"}) EXPECT_EQ(1, countEvents(log, message));
}
