// The real program under Wine: the device settings and channel routing dialogs, the
// main window's sound, settings and always-on-top commands, and what survives a restart.
// The program is driven from here by messages to its windows.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/asio.h"
#include "audio/test_driver_registry.h"
#include "resources/resource_ids.h"
#include "support/korvane_settings.h"
#include "support/program_runner.h"
#include "support/program_ui.h"
#include "support/wav_file.h"

using namespace testing_support;

namespace {

const char kDriverName[] = "Korvane Settings E2E Driver";
const char kDriverClsid[] = "{3C9D2E71-8A4B-4F06-B5D2-7E1A9C4F0B63}";
const int kRate = 44100;
const size_t kBytesPerSecond = (size_t)kRate * 2 * 4;  // two float channels
const float kNoteLevel = 0.25f * 100 / 127;          // the demo's output 0 at velocity 100
const int kKeyZ = 44;                                 // scan code of Z: note 48

void chooseListItem(HWND dialog, int id, int item) {
    SendDlgItemMessageA(dialog, id, LB_SETCURSEL, item, 0);
    notify(dialog, id, LBN_SELCHANGE);
}

int comboItem(HWND dialog, int id, const char *text) {
    return (int)SendDlgItemMessageA(dialog, id, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)text);
}

bool closeDialog(const RunningProgram &program, HWND dialog) {
    notify(dialog, IDCANCEL, BN_CLICKED, false);
    return waitUntil(program, [&] { return !IsWindow(dialog); });
}

// F11 as typed: the message loop's accelerator table turns it into the sound command.
void pressF11(HWND window) { pressKey(window, VK_F11, 0x57); }

int countLines(const std::string &path, const std::string &prefix) {
    int n = 0;
    for (const std::string &line : readLines(path))
        if (line.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
}

// The caption of an extended dialog template in one language, read from the file.
std::wstring dialogCaption(HMODULE module, int id, LANGID language) {
    HRSRC found = FindResourceExA(module, (LPCSTR)RT_DIALOG, MAKEINTRESOURCEA(id), language);
    if (!found) return L"<missing>";
    const WORD *p = (const WORD *)LockResource(LoadResource(module, found));
    if (!p || p[1] != 0xFFFF) return L"<not an extended template>";
    p += 13;                                        // the fixed header
    for (int field = 0; field < 2; ++field) {       // menu, then class: ordinal or string
        if (*p == 0xFFFF) {
            p += 2;
        } else {
            while (*p) ++p;
            ++p;
        }
    }
    return std::wstring((const wchar_t *)p);
}

// The settings caption in the language this Wine session runs the program in.
std::wstring expectedSettingsCaption() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? L"\u8bbe\u7f6e" : L"Settings";
}

bool topmost(HWND window) { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

class SettingsE2E : public ::testing::Test {
protected:
    void SetUp() override {
        folder = tempFolder("settings");
        log = folder + "\\calls.log";
        driverLog = folder + "\\driver.log";
        recording = folder + "\\driver-output.wav";
        clearKorvaneSettings();
    }
    void TearDown() override { clearKorvaneSettings(); }

    // Registers the test driver; returns its index in the driver list.
    int32_t addDriver(testdriver::Config config = testdriver::Config()) {
        config.set("SampleType", ASIOSTFloat32LSB)
            .set("Rates", std::string("44100,48000"))
            .set("CurrentRate", kRate)
            .set("Record", recording)
            .set("Log", driverLog);
        EXPECT_TRUE(drivers.add(kDriverName, kDriverClsid, kDriverName, config));
        return driverIndexOf(kDriverName);
    }

    void useDriver(int32_t index) {
        storeSetting("ASIO", index);
        storeSetting("SampleRate", kRate);
    }

    HWND start(RunningProgram &program, std::vector<std::pair<std::string, std::string>> env = {}) {
        DeleteFileA(log.c_str());
        env.insert(env.begin(), {{"KORVANE_DEMO_LOG", log}, {"KORVANE_DEMO_VARIANT", ""}});
        if (!program.start(exeFolder(), env)) return nullptr;
        return program.waitForMainWindow();
    }

    // Opens the settings dialog from the menu command.
    HWND openSettings(RunningProgram &program, HWND window) {
        PostMessageA(window, WM_COMMAND, CMD_SETTINGS, 0);
        return waitForDialog(program, window);
    }

    long quit(RunningProgram &program, HWND window) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return program.waitForExit();
    }

    // Waits until the recording has grown by `seconds` of sound from its present size.
    bool recordFor(double seconds) {
        return waitForFileSize(recording, fileSize(recording) + (size_t)(seconds * kBytesPerSecond));
    }

    testdriver::ScopedDrivers drivers;
    std::string folder, log, driverLog, recording;
};

}  // namespace

TEST_F(SettingsE2E, FirstStartAsksForTheDriverAndTheChoiceHoldsAfterARestart) {
    int32_t index = addDriver();
    ASSERT_GE(index, 0);
    {
        RunningProgram program;
        HWND window = start(program);
        ASSERT_NE(nullptr, window);
        HWND dialog = waitForDialog(program, window);
        ASSERT_NE(nullptr, dialog);
        wchar_t caption[64] = L"";
        GetWindowTextW(dialog, caption, 64);
        EXPECT_EQ(expectedSettingsCaption(), caption);

        // Nothing chosen yet: the driver's own controls are off.
        EXPECT_EQ(0, SendDlgItemMessageA(dialog, IDC_DRIVER, CB_GETCURSEL, 0, 0));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_CHANNELS)));
        chooseComboItem(dialog, IDC_DRIVER, index + 1);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_SAMPLE_RATE)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_CHANNELS)));

        // The rate list now holds what the driver offers.
        EXPECT_EQ(2, SendDlgItemMessageA(dialog, IDC_SAMPLE_RATE, CB_GETCOUNT, 0, 0));
        int item = comboItem(dialog, IDC_SAMPLE_RATE, "48000");
        ASSERT_GE(item, 0);
        chooseComboItem(dialog, IDC_SAMPLE_RATE, item);
        EXPECT_TRUE(waitForLogLine(driverLog, "setSampleRate 48000"));
        EXPECT_TRUE(waitForLogLine(log, "dispatch 10 0 0 48000"));

        ASSERT_TRUE(closeDialog(program, dialog));
        EXPECT_EQ(0, quit(program, window));
    }
    int32_t stored = -2, rate = 0;
    EXPECT_TRUE(readSetting("ASIO", &stored));
    EXPECT_EQ(index, stored);
    EXPECT_TRUE(readSetting("SampleRate", &rate));
    EXPECT_EQ(48000, rate);

    // The second start asks nothing and runs the driver at the stored rate.
    DeleteFileA(recording.c_str());
    RunningProgram program;
    HWND window = start(program);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(waitForFileSize(recording, 44 + 48000 * 8 / 10));
    EXPECT_EQ(1u, program.topLevelWindows().size());
    EXPECT_EQ(48000, readWav(recording).sampleRate);
    EXPECT_TRUE(waitForLogLine(log, "dispatch 10 0 0 48000"));
    EXPECT_EQ(0, quit(program, window));
}

// The choice follows the driver's name: a driver installed in front of it takes its
// position in the list, yet the next start opens the chosen one. Uninstalled, it stays
// the choice, named as missing on the status line, and comes back when reinstalled.
TEST_F(SettingsE2E, ChosenDriverIsFoundByNameWhenAnotherIsInstalledInFront) {
    const char kFrontName[] = "Korvane AAA Front Driver";  // sorts first
    const char kFrontClsid[] = "{5A1C7E32-9B4D-4E27-8F13-6C2B0D9A4E71}";
    std::string frontLog = folder + "\\front.log";
    int32_t index = addDriver();
    useDriver(index);  // a position stored without a name, as before names were kept
    {
        RunningProgram program;
        HWND window = start(program);
        ASSERT_NE(nullptr, window);
        ASSERT_TRUE(waitForLogLine(driverLog, "start"));
        EXPECT_EQ(0, quit(program, window));
    }
    EXPECT_EQ(kDriverName, readText("ASIOName"));

    ASSERT_TRUE(drivers.add(kFrontName, kFrontClsid, kFrontName, testdriver::Config().set("Log", frontLog)));
    ASSERT_EQ(index + 1, driverIndexOf(kDriverName));
    ASSERT_EQ(index, driverIndexOf(kFrontName));
    {
        RunningProgram program;
        HWND window = start(program);
        ASSERT_NE(nullptr, window);
        ASSERT_TRUE(waitUntil(program, [&] { return countLines(driverLog, "start") == 2; }));
        EXPECT_EQ(0, quit(program, window));
    }
    EXPECT_EQ(0, countLines(frontLog, "init")) << "the driver now at the stored position was opened";
    int32_t stored = -2;
    EXPECT_TRUE(readSetting("ASIO", &stored));
    EXPECT_EQ(index + 1, stored);

    testdriver::unregisterTestDriver(kDriverName, kDriverClsid);
    {
        RunningProgram program;
        HWND window = start(program);
        ASSERT_NE(nullptr, window);
        HWND status = statusLine(window);
        EXPECT_TRUE(waitUntil(program, [&] { return windowText(status).find(kDriverName) != std::string::npos; }))
            << windowText(status);
        EXPECT_EQ(1u, program.topLevelWindows().size()) << "no first-start dialog, no message";
        EXPECT_EQ(0, quit(program, window));
    }
    EXPECT_EQ(0, countLines(frontLog, "init"));
    EXPECT_EQ(kDriverName, readText("ASIOName"));

    addDriver();
    RunningProgram program;
    HWND window = start(program);
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(waitUntil(program, [&] { return countLines(driverLog, "start") == 3; }));
    EXPECT_EQ(0, quit(program, window));
    EXPECT_EQ(0, countLines(frontLog, "init"));
}

TEST_F(SettingsE2E, RoutingDialogChangesTheOutputMapWhileSoundRuns) {
    useDriver(addDriver());
    RunningProgram program;
    HWND window = start(program);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(waitForFileSize(recording, 44 + kBytesPerSecond / 10));
    HWND settings = openSettings(program, window);
    ASSERT_NE(nullptr, settings);
    notify(settings, IDC_CHANNELS, BN_CLICKED, false);
    HWND routing = waitForDialog(program, settings);
    ASSERT_NE(nullptr, routing);

    // "None" and the driver's two outputs; the driver list follows the chosen plugin
    // output: output 0 goes to driver output 0, output 1 to driver output 1.
    EXPECT_EQ(3, SendDlgItemMessageA(routing, IDC_DRIVER_OUTPUTS, LB_GETCOUNT, 0, 0));
    EXPECT_EQ(1, SendDlgItemMessageA(routing, IDC_DRIVER_OUTPUTS, LB_GETCURSEL, 0, 0));
    chooseListItem(routing, IDC_PLUGIN_OUTPUTS, 1);
    EXPECT_EQ(2, SendDlgItemMessageA(routing, IDC_DRIVER_OUTPUTS, LB_GETCURSEL, 0, 0));
    // Send plugin output 0 to driver output 1, where output 1 already goes.
    chooseListItem(routing, IDC_PLUGIN_OUTPUTS, 0);
    EXPECT_EQ(1, SendDlgItemMessageA(routing, IDC_DRIVER_OUTPUTS, LB_GETCURSEL, 0, 0));
    chooseListItem(routing, IDC_DRIVER_OUTPUTS, 2);

    // A note played now, with the dialogs still open, sounds on driver output 1 only,
    // as the sum of the full and the half-level output.
    PostMessageA(window, WM_KEYDOWN, 'Z', keyParam(kKeyZ, false));
    ASSERT_TRUE(recordFor(0.4));
    PostMessageA(window, WM_KEYUP, 'Z', keyParam(kKeyZ, true));
    ASSERT_TRUE(recordFor(0.2));

    // Plugin output 1 goes nowhere.
    chooseListItem(routing, IDC_PLUGIN_OUTPUTS, 1);
    chooseListItem(routing, IDC_DRIVER_OUTPUTS, 0);

    ASSERT_TRUE(closeDialog(program, routing));
    ASSERT_TRUE(closeDialog(program, settings));
    EXPECT_EQ(0, quit(program, window));

    WavData wav = readWav(recording);
    ASSERT_TRUE(wav.ok);
    ASSERT_EQ(2, wav.channels);
    EXPECT_EQ(0.0f, peak(wav.samples[0], 0, wav.frames()));
    EXPECT_NEAR(1.5f * kNoteLevel, peak(wav.samples[1], 0, wav.frames()), 0.05f * kNoteLevel);
    EXPECT_EQ((std::vector<int32_t>{1, -1}), readMap("OutMap"));
}

// An instrument with one output: the dialog lists its left and right side, each
// routed on its own. The map an earlier version stored (the left side alone, moved to
// driver output 1) leaves the right side off until it is chosen.
TEST_F(SettingsE2E, RoutingDialogRoutesTheSidesOfASingleOutput) {
    useDriver(addDriver());
    storeMap("OutMap", {1});
    RunningProgram program;
    HWND window = start(program, {{"KORVANE_DEMO_CHANNELS", "0,1"}});
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(waitForFileSize(recording, 44 + kBytesPerSecond / 10));
    HWND settings = openSettings(program, window);
    ASSERT_NE(nullptr, settings);
    notify(settings, IDC_CHANNELS, BN_CLICKED, false);
    HWND routing = waitForDialog(program, settings);
    ASSERT_NE(nullptr, routing);

    ASSERT_EQ(2, SendDlgItemMessageA(routing, IDC_PLUGIN_OUTPUTS, LB_GETCOUNT, 0, 0));
    bool chinese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE;
    const wchar_t *sides[] = {chinese ? L"Demo Out 1 (\u5de6)" : L"Demo Out 1 (left)",
                              chinese ? L"Demo Out 1 (\u53f3)" : L"Demo Out 1 (right)"};
    for (int side = 0; side < 2; ++side) {
        wchar_t item[128] = L"";
        SendDlgItemMessageW(routing, IDC_PLUGIN_OUTPUTS, LB_GETTEXT, side, (LPARAM)item);
        EXPECT_EQ(std::wstring(sides[side]), item);
    }
    EXPECT_EQ(2, SendDlgItemMessageA(routing, IDC_DRIVER_OUTPUTS, LB_GETCURSEL, 0, 0));
    chooseListItem(routing, IDC_PLUGIN_OUTPUTS, 1);
    EXPECT_EQ(0, SendDlgItemMessageA(routing, IDC_DRIVER_OUTPUTS, LB_GETCURSEL, 0, 0));
    chooseListItem(routing, IDC_DRIVER_OUTPUTS, 1);  // the right side to driver output 0

    PostMessageA(window, WM_KEYDOWN, 'Z', keyParam(kKeyZ, false));
    ASSERT_TRUE(recordFor(0.4));
    PostMessageA(window, WM_KEYUP, 'Z', keyParam(kKeyZ, true));
    ASSERT_TRUE(recordFor(0.2));
    ASSERT_TRUE(closeDialog(program, routing));
    ASSERT_TRUE(closeDialog(program, settings));
    EXPECT_EQ(0, quit(program, window));

    WavData wav = readWav(recording);
    ASSERT_TRUE(wav.ok);
    ASSERT_EQ(2, wav.channels);
    EXPECT_NEAR(kNoteLevel, peak(wav.samples[0], 0, wav.frames()), 0.02f * kNoteLevel);
    EXPECT_NEAR(kNoteLevel, peak(wav.samples[1], 0, wav.frames()), 0.02f * kNoteLevel);
    EXPECT_EQ((std::vector<int32_t>{1, 0}), readMap("OutMap"));
}

TEST_F(SettingsE2E, SoundOffSettingsWhileOffAndSoundOnAgain) {
    useDriver(addDriver());
    RunningProgram program;
    HWND window = start(program);
    ASSERT_NE(nullptr, window);
    HWND status = statusLine(window);
    ASSERT_NE(nullptr, status);
    ASSERT_TRUE(waitForFileSize(recording, 44 + kBytesPerSecond / 10));

    // Off, by the F11 key (through the accelerator table): the status line says so,
    // the plugin is suspended, the driver is gone.
    pressF11(window);
    ASSERT_TRUE(waitUntil(program, [&] { return windowText(status) == "Audio Stopped"; }));
    EXPECT_TRUE(waitForLogLine(log, "dispatch 12 0 0 0"));
    EXPECT_EQ(1, countLines(driverLog, "release "));
    EXPECT_EQ(1, countLines(driverLog, "stop"));

    // Settings while off: the driver runs while the dialog is open, but nothing is
    // processed, so a played key stays silent.
    DeleteFileA(recording.c_str());
    HWND settings = openSettings(program, window);
    ASSERT_NE(nullptr, settings);
    EXPECT_EQ(2, countLines(driverLog, "start"));
    ASSERT_TRUE(waitForFileSize(recording, 44 + kBytesPerSecond / 10));
    PostMessageA(window, WM_KEYDOWN, 'Z', keyParam(kKeyZ, false));
    ASSERT_TRUE(recordFor(0.4));
    PostMessageA(window, WM_KEYUP, 'Z', keyParam(kKeyZ, true));
    ASSERT_TRUE(recordFor(0.1));
    ASSERT_TRUE(closeDialog(program, settings));
    EXPECT_TRUE(waitUntil(program, [&] { return countLines(driverLog, "release ") == 2; }));
    EXPECT_EQ(2, countLines(driverLog, "stop"));
    WavData wav = readWav(recording);
    ASSERT_TRUE(wav.ok);
    for (const std::vector<float> &channel : wav.samples) EXPECT_EQ(0.0f, peak(channel, 0, channel.size()));

    // On again by F11: resumed, and the first events the plugin gets are the sixteen
    // All Notes Off in one block (the key's note, queued while off, is dropped).
    pressF11(window);
    ASSERT_TRUE(waitUntil(program, [&] { return windowText(status).empty(); }));
    ASSERT_TRUE(waitForLogLine(log, "events "));
    EXPECT_EQ(0, quit(program, window));

    std::vector<std::string> lines = readLines(log);
    size_t at = 0;
    while (at < lines.size() && lines[at] != "dispatch 12 0 0 0") ++at;
    while (at < lines.size() && lines[at] != "dispatch 12 0 1 0") ++at;
    while (at < lines.size() && lines[at].compare(0, 7, "events ") != 0) ++at;
    ASSERT_LT(at, lines.size()) << "no events after the resume";
    std::string expected = "events 16";
    for (int channel = 0; channel < 16; ++channel) {
        char message[8];
        snprintf(message, sizeof message, " %06x", 0x7BB0 | channel);
        expected += message;
    }
    EXPECT_EQ(expected, lines[at]);
}

TEST_F(SettingsE2E, TempoIsClampedWhenTyped) {
    struct Case {
        const char *typed;
        int32_t stored;
    } cases[] = {{"5", 10}, {"900", 500}, {"77", 77}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        storeSetting("ASIO", -1);
        RunningProgram program;
        HWND window = start(program);
        ASSERT_NE(nullptr, window);
        HWND settings = openSettings(program, window);
        ASSERT_NE(nullptr, settings);
        char shown[16] = "";
        SendDlgItemMessageA(settings, IDC_TEMPO, WM_GETTEXT, sizeof shown, (LPARAM)shown);
        EXPECT_STREQ("120", shown);
        SendDlgItemMessageA(settings, IDC_TEMPO, WM_SETTEXT, 0, (LPARAM)c.typed);
        ASSERT_TRUE(closeDialog(program, settings));
        EXPECT_EQ(0, quit(program, window));
        int32_t tempo = 0;
        EXPECT_TRUE(readSetting("Tempo", &tempo));
        EXPECT_EQ(c.stored, tempo);
        clearKorvaneSettings();
    }
}

TEST_F(SettingsE2E, RefusedSampleRateIsReportedAndNotKept) {
    useDriver(addDriver(testdriver::Config().set("FailSetSampleRate", 1)));
    RunningProgram program;
    HWND window = start(program);
    ASSERT_NE(nullptr, window);
    HWND settings = openSettings(program, window);
    ASSERT_NE(nullptr, settings);
    int item = comboItem(settings, IDC_SAMPLE_RATE, "48000");
    ASSERT_GE(item, 0);
    chooseComboItem(settings, IDC_SAMPLE_RATE, item, false);

    HWND box = waitForDialog(program, settings);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Korvane", windowText(box));
    bool hasText = false;
    for (HWND child : childWindows(box))
        if (windowText(child) == "Failed to set samplerate.") hasText = true;
    EXPECT_TRUE(hasText);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(box); }));

    // The list shows the rate in use again; the engine and the plugin keep it.
    int inUse = comboItem(settings, IDC_SAMPLE_RATE, "44100");
    EXPECT_NE(item, inUse);
    EXPECT_TRUE(waitUntil(program, [&] {
        return SendDlgItemMessageA(settings, IDC_SAMPLE_RATE, CB_GETCURSEL, 0, 0) == inUse;
    }));
    ASSERT_TRUE(closeDialog(program, settings));
    EXPECT_EQ(0, quit(program, window));
    int32_t rate = 0;
    EXPECT_TRUE(readSetting("SampleRate", &rate));
    EXPECT_EQ(kRate, rate);
    EXPECT_EQ(0, countLines(log, "dispatch 10 0 0 48000"));
}

TEST_F(SettingsE2E, AlwaysOnTopFollowsTheCommandAndSurvivesARestart) {
    storeSetting("ASIO", -1);
    {
        RunningProgram program;
        HWND window = start(program);
        ASSERT_NE(nullptr, window);
        EXPECT_FALSE(topmost(window));
        PostMessageA(window, WM_COMMAND, CMD_ALWAYS_ON_TOP, 0);
        EXPECT_TRUE(waitUntil(program, [&] { return topmost(window); }));
        EXPECT_EQ(0, quit(program, window));
    }
    int32_t onTop = 0;
    EXPECT_TRUE(readSetting("OnTop", &onTop));
    EXPECT_EQ(1, onTop);

    RunningProgram program;
    HWND window = start(program);
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(topmost(window));
    PostMessageA(window, WM_COMMAND, CMD_ALWAYS_ON_TOP, 0);
    EXPECT_TRUE(waitUntil(program, [&] { return !topmost(window); }));
    EXPECT_EQ(0, quit(program, window));
    EXPECT_TRUE(readSetting("OnTop", &onTop));
    EXPECT_EQ(0, onTop);
}

TEST(SettingsResources, DialogCaptionsInBothLanguages) {
    HMODULE exe = LoadLibraryExA((exeFolder() + "\\Korvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, exe);
    const LANGID chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    const LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    EXPECT_EQ(L"\u8bbe\u7f6e", dialogCaption(exe, IDD_SETTINGS, chinese));
    EXPECT_EQ(L"\u58f0\u97f3\u901a\u9053", dialogCaption(exe, IDD_ROUTING, chinese));
    EXPECT_EQ(L"Settings", dialogCaption(exe, IDD_SETTINGS, english));
    EXPECT_EQ(L"Sound channels", dialogCaption(exe, IDD_ROUTING, english));
    FreeLibrary(exe);
}

// A driver's control panel that asks for a reset and keeps its own message loop
// running: the driver is replaced only after the panel has returned.
TEST_F(SettingsE2E, ResetAskedFromTheControlPanelWaitsForThePanelToClose) {
    useDriver(addDriver(testdriver::Config().set("PanelMs", 500)));
    RunningProgram program;
    HWND window = start(program);
    ASSERT_NE(nullptr, window);
    HWND settings = openSettings(program, window);
    ASSERT_NE(nullptr, settings);
    HWND button = GetDlgItem(settings, IDC_CONTROL_PANEL);
    PostMessageA(settings, WM_COMMAND, MAKEWPARAM(IDC_CONTROL_PANEL, BN_CLICKED), (LPARAM)button);
    ASSERT_TRUE(waitUntil(program, [&] { return countLines(driverLog, "createBuffers") >= 2; }));

    std::vector<std::string> lines = readLines(driverLog);
    size_t panel = lines.size(), closed = lines.size(), release = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == "controlPanel" && panel == lines.size()) panel = i;
        if (lines[i] == "controlPanel closed" && closed == lines.size()) closed = i;
        if (lines[i].compare(0, 8, "release ") == 0 && i > panel && release == lines.size()) release = i;
    }
    ASSERT_LT(closed, lines.size());
    ASSERT_LT(release, lines.size());
    EXPECT_LT(closed, release);  // not released while its panel was still running

    ASSERT_TRUE(closeDialog(program, settings));
    EXPECT_EQ(0, quit(program, window));
}
