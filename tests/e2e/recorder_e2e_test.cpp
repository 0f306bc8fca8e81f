// The real program under Wine with the demo instrument and the test driver: F3,
// three notes on the computer keyboard, F4, F5, then "Save to computer..." through
// the system's save dialog at each bit depth, chosen in the combo that template 107
// places inside it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "audio/asio.h"
#include "audio/test_driver_registry.h"
#include "resources/resource_ids.h"
#include "support/korvane_settings.h"
#include "support/program_runner.h"
#include "support/program_ui.h"
#include "support/small_volume.h"
#include "support/sox.h"
#include "support/wav_file.h"

using namespace testing_support;

namespace {

const char kDriverName[] = "Korvane Recorder E2E Driver";
const char kDriverClsid[] = "{9E4A7C21-5B3D-4F18-A6E0-2D8C1B7F3A95}";
const int kRate = 44100;
const size_t kBytesPerSecond = (size_t)kRate * 2 * 4;  // the driver's recording: two float channels
const float kNoteLevel = 0.25f * 100 / 127;          // the demo's output 0 at velocity 100

struct Key {
    int scanCode;
    char virtualKey;
    int note;
} const kKeys[] = {{44, 'Z', 48}, {45, 'X', 50}, {46, 'C', 52}};

double noteFrequency(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// Stretches of a channel louder than the threshold, split at 50 ms of quiet.
std::vector<std::pair<size_t, size_t>> loudStretches(const std::vector<float> &s, float threshold, int rate) {
    std::vector<std::pair<size_t, size_t>> stretches;
    size_t gap = (size_t)rate / 20;
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::fabs(s[i]) <= threshold) continue;
        if (stretches.empty() || i - stretches.back().second > gap)
            stretches.push_back({i, i});
        else
            stretches.back().second = i;
    }
    return stretches;
}

// The notes a channel carries, in order: each stretch's pitch as the nearest note.
std::vector<int> notesIn(const std::vector<float> &channel, float level, int rate) {
    std::vector<int> notes;
    for (auto stretch : loudStretches(channel, level / 4, rate)) {
        if (stretch.second - stretch.first < (size_t)rate / 10) continue;
        double f = zeroCrossingFrequency(channel, rate, stretch.first + rate / 100, stretch.second - rate / 20);
        notes.push_back((int)std::lround(69 + 12 * std::log2(f / 440.0)));
        EXPECT_NEAR(noteFrequency(notes.back()), f, noteFrequency(notes.back()) * 0.01);
    }
    return notes;
}

HWND childWithId(HWND parent, int id, const char *className) {
    for (HWND child : childWindows(parent))
        if (GetDlgCtrlID(child) == id && _stricmp(windowClass(child).c_str(), className) == 0) return child;
    return nullptr;
}

// A control's own text (GetWindowText does not ask a control of another process).
std::string controlText(HWND control) {
    char text[MAX_PATH + 1] = "";
    SendMessageA(control, WM_GETTEXT, sizeof text, (LPARAM)text);
    return text;
}

// Whether the keyboard focus is in this control (or in the edit of a combo).
bool hasFocus(HWND control) {
    HWND focus = focusedWindow(control);
    return focus && (focus == control || IsChild(control, focus));
}

class RecorderE2E : public ::testing::Test {
protected:
    void SetUp() override {
        folder = tempFolder("recorder");
        recording = folder + "\\driver-output.wav";
        DeleteFileA(recording.c_str());
        clearKorvaneSettings();
        testdriver::Config config;
        config.set("SampleType", ASIOSTFloat32LSB)
            .set("Record", recording)
            .set("Rates", std::string("44100,48000"))
            .set("CurrentRate", kRate);
        ASSERT_TRUE(testdriver::addChosenDriver(drivers, kDriverName, kDriverClsid, config, kRate));
    }
    void TearDown() override { clearKorvaneSettings(); }

    // Lets this much driver time pass.
    bool driverTime(double seconds) {
        return waitForFileSize(recording, fileSize(recording) + (size_t)(seconds * kBytesPerSecond));
    }
    bool statusBecomes(const RunningProgram &program, HWND status, const std::string &prefix) {
        return waitUntil(program, [&] {
            std::string text = windowText(status);
            return prefix.empty() ? text.empty() : text.compare(0, prefix.size(), prefix) == 0;
        });
    }

    // F3, a fifth of a second, F4: a take that is not saved.
    void recordTake(const RunningProgram &program, HWND window, HWND status) {
        pressKey(window, VK_F3, 0x3D);
        ASSERT_TRUE(statusBecomes(program, status, "Recording: "));
        ASSERT_TRUE(driverTime(0.2));
        pressKey(window, VK_F4, 0x3E);
        ASSERT_TRUE(statusBecomes(program, status, ""));
    }

    // "Save to computer...": type the name, pick the depth in the combo, press Save.
    // Returns the combo's selection as the dialog opened.
    int saveAs(const RunningProgram &program, HWND window, const std::string &path, int depth) {
        PostMessageA(window, WM_COMMAND, CMD_SAVE_RECORDING, 0);
        HWND dialog = waitForDialog(program, window);
        EXPECT_NE(nullptr, dialog);
        if (!dialog) return -1;
        HWND combo = childWithId(dialog, IDC_BIT_DEPTH, "ComboBox");
        EXPECT_NE(nullptr, combo);
        if (!combo) return -1;
        EXPECT_EQ(3, SendMessageA(combo, CB_GETCOUNT, 0, 0));
        int shown = (int)SendMessageA(combo, CB_GETCURSEL, 0, 0);
        HWND name = fileNameBox(dialog);
        EXPECT_NE(nullptr, name);
        SendMessageA(name, WM_SETTEXT, 0, (LPARAM)path.c_str());
        chooseComboItem(GetParent(combo), IDC_BIT_DEPTH, depth);
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        // The file appears whole: it is written under another name and moved.
        EXPECT_TRUE(waitUntil(program, [&] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }));
        EXPECT_TRUE(waitUntil(program, [&] { return !IsWindow(dialog); }));
        return shown;
    }

    // A message box of the program owned by `owner` whose text starts so; null if none.
    HWND messageBox(const RunningProgram &program, HWND owner, const std::string &text) {
        HWND box = nullptr;
        waitUntil(program, [&] {
            for (HWND w : program.topLevelWindows()) {
                if (windowClass(w) != "#32770" || GetWindow(w, GW_OWNER) != owner) continue;
                for (HWND child : childWindows(w))
                    if (windowText(child).compare(0, text.size(), text) == 0) box = w;
            }
            return box != nullptr;
        });
        return box;
    }
    // Starts the program with the stream running; null window on failure.
    HWND start(RunningProgram &program, const std::vector<std::pair<std::string, std::string>> &env = {}) {
        std::vector<std::pair<std::string, std::string>> all = {{"KORVANE_DEMO_VARIANT", ""}};
        all.insert(all.end(), env.begin(), env.end());
        if (!program.start(exeFolder(), all)) return nullptr;
        HWND window = program.waitForMainWindow();
        if (!window || !waitForFileSize(recording, 44 + kBytesPerSecond / 10)) return nullptr;
        return window;
    }

    testdriver::ScopedDrivers drivers;
    std::string folder, recording;
};

}  // namespace

TEST_F(RecorderE2E, RecordPlayBackAndSaveAtEachDepth) {
    RunningProgram program;
    HWND window = start(program);
    ASSERT_NE(nullptr, window);
    HWND status = statusLine(window);
    ASSERT_NE(nullptr, status);

    pressKey(window, VK_F3, 0x3D);
    ASSERT_TRUE(statusBecomes(program, status, "Recording: "));
    ASSERT_TRUE(driverTime(0.2));
    for (const Key &key : kKeys) {
        PostMessageA(window, WM_KEYDOWN, key.virtualKey, keyParam(key.scanCode, false));
        ASSERT_TRUE(driverTime(0.3));
        PostMessageA(window, WM_KEYUP, key.virtualKey, keyParam(key.scanCode, true));
        ASSERT_TRUE(driverTime(0.2));
    }
    pressKey(window, VK_F4, 0x3E);
    ASSERT_TRUE(statusBecomes(program, status, ""));

    pressKey(window, VK_F5, 0x3F);
    ASSERT_TRUE(statusBecomes(program, status, "Playing: "));
    ASSERT_TRUE(statusBecomes(program, status, ""));  // the playback ends by itself
    ASSERT_TRUE(driverTime(0.1));

    // The driver heard the notes twice: played live, then played back.
    WavData heard = readWav(recording);
    ASSERT_TRUE(heard.ok);
    EXPECT_EQ(std::vector<int>({48, 50, 52, 48, 50, 52}), notesIn(heard.samples[0], kNoteLevel, kRate));

    // Saved at each depth; the combo opens with the last choice made.
    struct Depth {
        const char *file;
        int tag, bits;
        const char *encoding;
    } depths[] = {
        {"take-24.wav", 1, 24, "24-bit Signed Integer PCM"},
        {"take-float.wav", 3, 32, "32-bit Floating Point PCM"},
        {"take-16.wav", 1, 16, "16-bit Signed Integer PCM"},
    };
    int expectedShown = 0;
    size_t frames = 0;
    for (const Depth &d : depths) {
        SCOPED_TRACE(d.file);
        int depth = d.bits == 16 ? 0 : d.bits == 24 ? 1 : 2;
        std::string path = folder + "\\" + d.file;
        EXPECT_EQ(expectedShown, saveAs(program, window, path, depth));
        expectedShown = depth;

        std::string info = runSox("--i '" + unixPath(path) + "'");
        EXPECT_EQ("2", soxInfoField(info, "Channels")) << info;
        EXPECT_EQ("44100", soxInfoField(info, "Sample Rate"));
        EXPECT_EQ(d.encoding, soxInfoField(info, "Sample Encoding"));
        WavData saved = readWav(path);
        ASSERT_TRUE(saved.ok);
        EXPECT_EQ(d.tag, saved.formatTag);
        EXPECT_NE(std::string::npos,
                  soxInfoField(info, "Duration").find("= " + std::to_string(saved.frames()) + " samples"));
        if (frames == 0) frames = saved.frames();
        EXPECT_EQ(frames, saved.frames()) << "every depth holds the same recording";
        EXPECT_EQ(std::vector<int>({48, 50, 52}), notesIn(saved.samples[0], kNoteLevel, kRate));
        EXPECT_EQ(std::vector<int>({48, 50, 52}), notesIn(saved.samples[1], kNoteLevel / 2, kRate));
    }
    // Three notes of 0.3 s with 0.2 s around each, a little more or less by the keys' timing.
    EXPECT_GT(frames, (size_t)(1.3 * kRate));
    EXPECT_LT(frames, (size_t)(5.0 * kRate));

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());
}

// Instruments made with plugin frameworks: one whose process replaces its outputs
// (the playback must not be overwritten) and one with a single output (heard, recorded
// and played back on both sides at its full level). One note recorded, played back
// with F5 and saved: the driver hears it twice on both channels, the file has it on both.
TEST_F(RecorderE2E, OtherInstrumentsAreHeardRecordedAndPlayedBackOnBothSides) {
    struct Case {
        const char *variant, *channels;
        float right;  // level of the right side against the left
    } cases[] = {{"replacing", "2,2", 0.5f}, {"", "0,1", 1.0f}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.variant[0] ? c.variant : "default") + ", channels " + c.channels);
        DeleteFileA(recording.c_str());
        RunningProgram program;
        HWND window = start(program, {{"KORVANE_DEMO_VARIANT", c.variant}, {"KORVANE_DEMO_CHANNELS", c.channels}});
        ASSERT_NE(nullptr, window);
        HWND status = statusLine(window);
        pressKey(window, VK_F3, 0x3D);
        ASSERT_TRUE(statusBecomes(program, status, "Recording: "));
        ASSERT_TRUE(driverTime(0.2));
        PostMessageA(window, WM_KEYDOWN, 'Z', keyParam(44, false));
        ASSERT_TRUE(driverTime(0.3));
        PostMessageA(window, WM_KEYUP, 'Z', keyParam(44, true));
        ASSERT_TRUE(driverTime(0.2));
        pressKey(window, VK_F4, 0x3E);
        ASSERT_TRUE(statusBecomes(program, status, ""));
        pressKey(window, VK_F5, 0x3F);
        ASSERT_TRUE(statusBecomes(program, status, "Playing: "));
        ASSERT_TRUE(statusBecomes(program, status, ""));
        ASSERT_TRUE(driverTime(0.1));

        WavData heard = readWav(recording);
        ASSERT_TRUE(heard.ok);
        ASSERT_EQ(2, heard.channels);
        EXPECT_EQ(std::vector<int>({48, 48}), notesIn(heard.samples[0], kNoteLevel, kRate));
        EXPECT_EQ(std::vector<int>({48, 48}), notesIn(heard.samples[1], kNoteLevel * c.right, kRate));
        float left = peak(heard.samples[0], 0, heard.frames());
        EXPECT_NEAR(kNoteLevel, left, kNoteLevel * 0.02f);
        EXPECT_NEAR(left * c.right, peak(heard.samples[1], 0, heard.frames()), kNoteLevel * 0.02f);

        std::string path = folder + "\\take-" + (c.variant[0] ? c.variant : "single") + ".wav";
        saveAs(program, window, path, 2);
        std::string info = runSox("--i '" + unixPath(path) + "'");
        EXPECT_EQ("2", soxInfoField(info, "Channels")) << info;
        WavData saved = readWav(path);
        ASSERT_TRUE(saved.ok);
        EXPECT_EQ(std::vector<int>({48}), notesIn(saved.samples[0], kNoteLevel, kRate));
        EXPECT_EQ(std::vector<int>({48}), notesIn(saved.samples[1], kNoteLevel * c.right, kRate));
        EXPECT_NEAR(left * c.right, peak(saved.samples[1], 0, saved.frames()), kNoteLevel * 0.02f);

        PostMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(0, program.waitForExit());
    }
}

TEST_F(RecorderE2E, FullDiskStopsTheRecordingWithAMessageAndKeepsWhatWasWritten) {
    // The capture files on a volume of 256 KiB (a tmpfs mounted for this test).
    SmallVolume volume(256);
    if (!volume.mounted()) GTEST_SKIP() << "cannot mount a small volume: " << volume.why();
    const std::string &tmp = volume.folder();
    {
        RunningProgram program;
        HWND window = start(program, {{"TMP", tmp}});
        ASSERT_NE(nullptr, window);
        HWND status = statusLine(window);
        pressKey(window, VK_F3, 0x3D);
        ASSERT_TRUE(statusBecomes(program, status, "Recording: "));
        // 256 KiB hold under a second of two float channels: the recording ends by itself.
        HWND box = messageBox(program, window, "The disk is full.");
        ASSERT_NE(nullptr, box);
        EXPECT_EQ("Korvane", windowText(box));
        EXPECT_EQ("", windowText(status));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(box); }));

        // What both files took is the recording: it saves whole.
        std::string path = folder + "\\full.wav";
        saveAs(program, window, path, 2);
        WavData saved = readWav(path);
        ASSERT_TRUE(saved.ok);
        EXPECT_GT(saved.frames(), 0u);
        EXPECT_LE(saved.frames() * 4, 128u * 1024);
        EXPECT_EQ(0u, saved.frames() % 256) << "whole driver blocks only";
        PostMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(0, program.waitForExit());
    }
}

TEST_F(RecorderE2E, FailedSaveTellsTheUserAndLeavesTheOldFile) {
    std::string path = folder + "\\kept.wav";
    // The old file is open in another program that shares it with nobody.
    HANDLE old = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(old, "old take", 8, &written, nullptr);

    RunningProgram program;
    HWND window = start(program);
    ASSERT_NE(nullptr, window);
    HWND status = statusLine(window);
    pressKey(window, VK_F3, 0x3D);
    ASSERT_TRUE(statusBecomes(program, status, "Recording: "));
    ASSERT_TRUE(driverTime(0.2));
    pressKey(window, VK_F4, 0x3E);
    ASSERT_TRUE(statusBecomes(program, status, ""));

    PostMessageA(window, WM_COMMAND, CMD_SAVE_RECORDING, 0);
    HWND dialog = waitForDialog(program, window);
    ASSERT_NE(nullptr, dialog);
    SendMessageA(fileNameBox(dialog), WM_SETTEXT, 0, (LPARAM)path.c_str());
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    // The dialog's own question about replacing the file: yes.
    HWND replace = nullptr;
    ASSERT_TRUE(waitUntil(program, [&] { return (replace = ownedDialog(program, dialog)) != nullptr; }));
    PostMessageA(replace, WM_COMMAND, IDYES, 0);

    // The reason names what failed, with the system's own text on the next line.
    HWND box = messageBox(program, window, "Could not save the recording as " + path + ": the file could not be created.\n");
    ASSERT_NE(nullptr, box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    CloseHandle(old);
    EXPECT_EQ("old take", readFile(path));
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\~kv*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h) << "the temporary file was left behind";
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    // Not saved: closing asks first; the take is not kept.
    PostMessageA(window, WM_CLOSE, 0, 0);
    box = messageBox(program, window, "The recording has not been saved.");
    ASSERT_NE(nullptr, box);
    PostMessageA(box, WM_COMMAND, IDNO, 0);
    EXPECT_EQ(0, program.waitForExit());
}

TEST_F(RecorderE2E, CaptureFilesThatCannotBeMadeAreNamedAndRecordingIsRefused) {
    const std::string missing = folder + "\\no such folder";
    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_VARIANT", ""}, {"TMP", missing}}));
    const std::string said = "Recording is not possible: the temporary recording files could not be created in " + missing;
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    HWND box = messageBox(program, window, said);
    ASSERT_NE(nullptr, box) << "at start-up";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(box); }));

    HWND status = statusLine(window);
    pressKey(window, VK_F3, 0x3D);
    box = messageBox(program, window, said);
    ASSERT_NE(nullptr, box) << "at F3";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ("", windowText(status)) << "nothing is recorded";
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());
}

// Keys typed as soon as the save dialog shows go into the file name; Tab and Alt+B
// reach the bit-depth combo, and a depth chosen there with the arrow keys is saved.
TEST_F(RecorderE2E, SaveDialogTakesTheNameTypedAtOnceAndTheBitDepthByKeyboard) {
    RunningProgram program;
    HWND window = start(program);
    ASSERT_NE(nullptr, window);
    recordTake(program, window, statusLine(window));

    PostMessageA(window, WM_COMMAND, CMD_SAVE_RECORDING, 0);
    HWND dialog = waitForDialog(program, window);
    ASSERT_NE(nullptr, dialog);
    // "3..." would pick "32-bit float" in the combo if the keys went there.
    std::string path = folder + "\\32.wav";
    typeText(std::wstring(path.begin(), path.end()));
    HWND name = fileNameBox(dialog);
    ASSERT_NE(nullptr, name);
    EXPECT_TRUE(waitUntil(program, [&] { return controlText(name) == path; })) << controlText(name);
    HWND combo = childWithId(dialog, IDC_BIT_DEPTH, "ComboBox");
    ASSERT_NE(nullptr, combo);
    EXPECT_EQ(0, SendMessageA(combo, CB_GETCURSEL, 0, 0));

    bool tabbedThere = false;
    for (int i = 0; i < 12 && !tabbedThere; ++i) {
        HWND before = focusedWindow(dialog);
        typeKey(VK_TAB);
        waitUntil(program, [&] { return focusedWindow(dialog) != before; }, 5000);
        tabbedThere = hasFocus(combo);
    }
    EXPECT_TRUE(tabbedThere) << "Tab never reached the bit-depth combo";

    typeKey('N', VK_MENU);
    ASSERT_TRUE(waitUntil(program, [&] { return hasFocus(name); }));
    typeKey('B', VK_MENU);
    EXPECT_TRUE(waitUntil(program, [&] { return hasFocus(combo); })) << "Alt+B did not reach the combo";
    typeKey(VK_DOWN);
    EXPECT_TRUE(waitUntil(program, [&] { return SendMessageA(combo, CB_GETCURSEL, 0, 0) == 1; }));
    typeKey(VK_RETURN);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(dialog); }));
    ASSERT_TRUE(waitUntil(program, [&] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    std::string info = runSox("--i '" + unixPath(path) + "'");
    EXPECT_EQ("24-bit Signed Integer PCM", soxInfoField(info, "Sample Encoding")) << info;

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());
}

// No command loses a recording. Without a driver record is greyed and F3 only has
// the status line say why; with one, F3 over a take not yet saved asks first and its
// default keeps the take; a saved take is recorded over without a question.
TEST_F(RecorderE2E, NoCommandLosesARecording) {
    storeSetting("ASIO", -1);
    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_VARIANT", ""}}));
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    HWND status = statusLine(window);
    ASSERT_TRUE(statusBecomes(program, status, "No audio driver"));
    EXPECT_FALSE(menuItemEnabled(window, CMD_RECORD));
    pressKey(window, VK_F3, 0x3D);
    ASSERT_TRUE(statusBecomes(program, status, "Recording needs a"));
    EXPECT_FALSE(menuItemEnabled(window, CMD_SAVE_RECORDING)) << "nothing was recorded";

    PostMessageA(window, WM_COMMAND, CMD_SETTINGS, 0);
    HWND settings = waitForDialog(program, window);
    ASSERT_NE(nullptr, settings);
    chooseComboItem(settings, IDC_DRIVER, driverIndexOf(kDriverName) + 1);
    PostMessageA(settings, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(settings); }));
    ASSERT_TRUE(statusBecomes(program, status, ""));
    EXPECT_TRUE(menuItemEnabled(window, CMD_RECORD));
    recordTake(program, window, status);
    const std::string question = "The last recording has not been saved.";

    pressKey(window, VK_F3, 0x3D);
    HWND box = messageBox(program, window, question);
    ASSERT_NE(nullptr, box);
    typeKey(VK_RETURN);  // the default answer
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(box); }));
    // The take is still there: it plays back whole.
    pressKey(window, VK_F5, 0x3F);
    ASSERT_TRUE(statusBecomes(program, status, "Playing: "));
    double position = 0, length = 0;
    EXPECT_EQ(2, sscanf(windowText(status).c_str(), "Playing: %lf of %lf", &position, &length));
    EXPECT_GE(length, 0.2);
    ASSERT_TRUE(statusBecomes(program, status, ""));

    // Yes records over it.
    pressKey(window, VK_F3, 0x3D);
    box = messageBox(program, window, question);
    ASSERT_NE(nullptr, box);
    PostMessageA(box, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(statusBecomes(program, status, "Recording: "));
    ASSERT_TRUE(driverTime(0.1));
    pressKey(window, VK_F4, 0x3E);
    ASSERT_TRUE(statusBecomes(program, status, ""));

    // Once saved, F3 records at once.
    saveAs(program, window, folder + "\\saved.wav", 0);
    pressKey(window, VK_F3, 0x3D);
    ASSERT_TRUE(statusBecomes(program, status, "Recording: "));
    EXPECT_EQ(nullptr, ownedDialog(program, window));
    pressKey(window, VK_F4, 0x3E);
    ASSERT_TRUE(statusBecomes(program, status, ""));
    // That take was not saved: closing asks, and Don't save lets the program end.
    PostMessageA(window, WM_CLOSE, 0, 0);
    box = messageBox(program, window, "The recording has not been saved.");
    ASSERT_NE(nullptr, box);
    PostMessageA(box, WM_COMMAND, IDNO, 0);
    EXPECT_EQ(0, program.waitForExit());
}

TEST(RecorderResources, SaveTemplateAndMessagesInBothLanguages) {
    HMODULE exe = LoadLibraryExA((exeFolder() + "\\Korvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, exe);
    struct Language {
        LANGID id;
        std::wstring label;
    } languages[] = {{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"&Bit depth:"},
                     {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), L"Bit\u6bd4\u7279\u89e3\u6790\u529b(&B):"}};
    for (const Language &l : languages) {
        LANGID language = l.id;
        HRSRC dialog = FindResourceExA(exe, (LPCSTR)RT_DIALOG, MAKEINTRESOURCEA(IDD_SAVE), language);
        ASSERT_NE(nullptr, dialog) << language;
        // The label's text, as the template stores it (UTF-16, zero-terminated).
        const char *bytes = (const char *)LockResource(LoadResource(exe, dialog));
        std::string data(bytes, SizeofResource(exe, dialog));
        std::string label((const char *)l.label.c_str(), (l.label.size() + 1) * sizeof(wchar_t));
        EXPECT_NE(std::string::npos, data.find(label)) << language;
        // String-table block 2100 / 16 holds the recorder's messages.
        EXPECT_NE(nullptr,
                  FindResourceExA(exe, (LPCSTR)RT_STRING, MAKEINTRESOURCEA(IDS_RECORDING_DISK_FULL / 16 + 1), language))
            << language;
    }
    FreeLibrary(exe);
}
