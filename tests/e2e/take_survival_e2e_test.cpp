// A recording survives whatever ends the program. The real program under Wine with
// the demo instrument and the test driver, its capture files in a TMP folder of the
// test's own: ended from outside or by the instrument while recording, the next
// start recovers the take into Documents\Korvane; two programs at once keep their
// own files; closing with a take not saved asks first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/asio.h"
#include "audio/test_driver_registry.h"
#include "resources/resource_ids.h"
#include "support/korvane_settings.h"
#include "support/program_runner.h"
#include "support/program_ui.h"
#include "support/recovered_takes.h"
#include "support/sox.h"

using namespace testing_support;

namespace {

const char kDriverName[] = "Korvane Takes E2E Driver";
const char kDriverClsid[] = "{6B1F0C3A-2D47-4E85-9A3C-5E7D1B2F4C68}";
const int kRate = 44100;
const float kNoteLevel = 0.25f * 100 / 127;  // the demo's output 0 at velocity 100

struct Key {
    int scanCode;
    char virtualKey;
    int note;
} const kZ = {44, 'Z', 48}, kX = {45, 'X', 50}, kC = {46, 'C', 52};

std::string narrow(const std::wstring &s) { return std::string(s.begin(), s.end()); }

class TakeSurvivalE2E : public ::testing::Test {
protected:
    void SetUp() override {
        temp = tempFolder("takes-tmp");
        folder = tempFolder("takes");
        clearKorvaneSettings();
        testdriver::Config config;
        config.set("SampleType", ASIOSTFloat32LSB).set("CurrentRate", kRate);
        ASSERT_TRUE(testdriver::addChosenDriver(drivers, kDriverName, kDriverClsid, config, kRate));
    }
    void TearDown() override { clearKorvaneSettings(); }

    bool start(RunningProgram &program, const std::vector<std::pair<std::string, std::string>> &env = {}) {
        std::vector<std::pair<std::string, std::string>> all = {{"KORVANE_DEMO_VARIANT", ""}, {"TMP", temp}};
        all.insert(all.end(), env.begin(), env.end());
        return program.start(exeFolder(), all);
    }

    // The seconds the status line counts while recording (what the capture files
    // hold); -1 when it shows something else.
    static double recordedSeconds(HWND status) {
        std::string text = windowText(status);
        const std::string prefix = "Recording: ";
        return text.compare(0, prefix.size(), prefix) == 0 ? atof(text.c_str() + prefix.size()) : -1;
    }
    // Waits until the capture files hold `more` seconds beyond what they hold now.
    static bool recordMore(const RunningProgram &program, HWND status, double more) {
        double until = recordedSeconds(status) + more;
        return waitUntil(program, [&] { return recordedSeconds(status) >= until; });
    }
    // F3, then the keys, each held 0.3 s with 0.2 s around it; the last one is left
    // held when `holdLast`.
    static void recordNotes(const RunningProgram &program, HWND window, const std::vector<Key> &keys,
                            bool holdLast = false) {
        HWND status = statusLine(window);
        pressKey(window, VK_F3, 0x3D);
        ASSERT_TRUE(waitUntil(program, [&] { return recordedSeconds(status) >= 0; }));
        ASSERT_TRUE(recordMore(program, status, 0.2));
        for (size_t i = 0; i < keys.size(); ++i) {
            PostMessageA(window, WM_KEYDOWN, keys[i].virtualKey, keyParam(keys[i].scanCode, false));
            ASSERT_TRUE(recordMore(program, status, 0.3));
            if (holdLast && i + 1 == keys.size()) return;
            PostMessageA(window, WM_KEYUP, keys[i].virtualKey, keyParam(keys[i].scanCode, true));
            ASSERT_TRUE(recordMore(program, status, 0.2));
        }
    }
    static void stopRecording(const RunningProgram &program, HWND window) {
        HWND status = statusLine(window);
        pressKey(window, VK_F4, 0x3E);
        ASSERT_TRUE(waitUntil(program, [&] { return windowText(status).empty(); }));
    }

    // A message box of the program owned by `owner`; null if none comes.
    static HWND ownedBox(const RunningProgram &program, HWND owner, std::string *text) {
        HWND box = nullptr;
        waitUntil(program, [&] {
            for (HWND w : program.topLevelWindows())
                if (windowClass(w) == "#32770" && GetWindow(w, GW_OWNER) == owner && GetDlgItem(w, 0xFFFF)) box = w;
            return box != nullptr;
        });
        if (box && text) *text = windowText(GetDlgItem(box, 0xFFFF));
        return box;
    }

    // Closing with an unsaved take: the question, its buttons as named, answered.
    static void answerCloseQuestion(const RunningProgram &program, HWND window, int answer) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        std::string text;
        HWND box = ownedBox(program, window, &text);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ("The recording has not been saved. Save it before Korvane closes?", text);
        EXPECT_EQ("Korvane", windowText(box));
        EXPECT_EQ("&Save", windowText(GetDlgItem(box, IDYES)));
        EXPECT_EQ("Do&n't save", windowText(GetDlgItem(box, IDNO)));
        EXPECT_EQ("Cancel", windowText(GetDlgItem(box, IDCANCEL)));
        PostMessageA(box, WM_COMMAND, answer, 0);
        ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(box); }));
    }

    // The save dialog: the name typed, then Save or Cancel.
    static void answerSaveDialog(const RunningProgram &program, HWND window, const std::string &path, int button) {
        HWND dialog = waitForDialog(program, window);
        ASSERT_NE(nullptr, dialog);
        HWND name = fileNameBox(dialog);
        ASSERT_NE(nullptr, name);
        SendMessageA(name, WM_SETTEXT, 0, (LPARAM)path.c_str());
        PostMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
        ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(dialog); }));
    }

    testdriver::ScopedDrivers drivers;
    std::string temp, folder;
};

}  // namespace

TEST_F(TakeSurvivalE2E, EndedWhileRecordingTheTakeIsRecoveredAtTheNextStart) {
    struct Way {
        const char *what;
        const char *faultKind;  // null: TerminateProcess from outside
        long exitCode;
    } ways[] = {{"ended from outside (task manager, a hang ended by the user)", nullptr, 1},
                {"abort() in the instrument", "abort", 3},
                {"fail-fast in the instrument", "fastfail", (long)0xC0000409}};
    for (const Way &way : ways) {
        SCOPED_TRACE(way.what);
        freshFolder(temp);
        std::vector<std::string> left;
        {
            RunningProgram program;
            std::vector<std::pair<std::string, std::string>> env;
            // The demo fails 400 blocks (2.3 s) after the first note, while C is held.
            if (way.faultKind) env = {{"KORVANE_DEMO_FAULT_BLOCKS", "400"}, {"KORVANE_DEMO_FAULT_KIND", way.faultKind}};
            ASSERT_TRUE(start(program, env));
            HWND window = program.waitForMainWindow();
            ASSERT_NE(nullptr, window);
            recordNotes(program, window, {kZ, kX, kC}, true);
            if (way.faultKind) {
                // The C runtime may show its own message before abort() ends the
                // process (Wine's does not); the program has none of its own here.
                std::wstring runtime;
                if (HWND box = waitForMessageBox(program, &runtime, 10000)) PostMessageA(box, WM_COMMAND, IDOK, 0);
            } else {
                ASSERT_TRUE(recordMore(program, statusLine(window), 0.3));
                TerminateProcess(program.process(), 1);
            }
            EXPECT_EQ(way.exitCode, program.waitForExit());
            left = takeFilesIn(temp);
            EXPECT_EQ(3u, left.size()) << "the take outlasts the program";
        }

        RunningProgram again;
        ASSERT_TRUE(start(again));
        std::wstring wideText;
        HWND box = waitForMessageBox(again, &wideText);
        ASSERT_NE(nullptr, box);
        std::string text = narrow(wideText);
        const std::string said = "Korvane ended before a recording was saved. The recording was recovered and saved as:\n";
        ASSERT_EQ(0u, text.find(said)) << text;
        std::string line = text.substr(said.size());
        std::string path = line.substr(0, line.rfind(" ("));
        EXPECT_EQ(0u, path.find(recoveredRecordingsFolder() + "\\Recording ")) << text;
        EXPECT_EQ(" seconds)", line.substr(line.size() - 9)) << text;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        HWND window = again.waitForMainWindow();
        ASSERT_NE(nullptr, window);

        RecoveredFile file = readRecovered(path);
        EXPECT_EQ(stereoFloatSummary(44100), soxSummary(file));
        ASSERT_TRUE(file.wav.ok);
        EXPECT_EQ(std::vector<int>({48, 50, 52}), notesHeard(file.wav.samples[0], kNoteLevel, kRate));
        EXPECT_EQ(std::vector<int>({48, 50, 52}), notesHeard(file.wav.samples[1], kNoteLevel / 2, kRate));
        // The leftovers are gone; the files there now are the new program's own.
        std::vector<std::string> now = takeFilesIn(temp);
        EXPECT_EQ(3u, now.size());
        for (const std::string &name : left)
            EXPECT_EQ(now.end(), std::find(now.begin(), now.end(), name)) << name;

        PostMessageA(window, WM_CLOSE, 0, 0);  // nothing recorded: no question
        EXPECT_EQ(0, again.waitForExit());
        EXPECT_TRUE(takeFilesIn(temp).empty());
        DeleteFileA(path.c_str());
    }
}

TEST_F(TakeSurvivalE2E, TwoProgramsAtOnceKeepTheirOwnFiles) {
    RunningProgram first;
    ASSERT_TRUE(start(first));
    HWND firstWindow = first.waitForMainWindow();
    ASSERT_NE(nullptr, firstWindow);
    recordNotes(first, firstWindow, {kZ});
    stopRecording(first, firstWindow);
    std::vector<std::string> firstFiles = takeFilesIn(temp);
    ASSERT_EQ(3u, firstFiles.size());

    // The second start finds the first program's unsaved take and leaves it alone.
    RunningProgram second;
    ASSERT_TRUE(start(second));
    HWND secondWindow = second.waitForMainWindow();
    ASSERT_NE(nullptr, secondWindow) << "no recovery message held up the start";
    for (HWND w : second.topLevelWindows()) EXPECT_NE("#32770", windowClass(w));
    recordNotes(second, secondWindow, {kX});
    stopRecording(second, secondWindow);
    std::vector<std::string> both = takeFilesIn(temp);
    ASSERT_EQ(6u, both.size());
    for (const std::string &name : both) {
        HANDLE other = CreateFileA((temp + "\\" + name).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
        EXPECT_EQ(INVALID_HANDLE_VALUE, other) << name << " is held by its program";
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    }

    // The first closes without keeping its take: only its own files go.
    answerCloseQuestion(first, firstWindow, IDNO);
    EXPECT_EQ(0, first.waitForExit());
    std::vector<std::string> secondFiles = takeFilesIn(temp);
    ASSERT_EQ(3u, secondFiles.size());
    for (const std::string &name : firstFiles)
        EXPECT_EQ(secondFiles.end(), std::find(secondFiles.begin(), secondFiles.end(), name)) << name;

    // The second's take is its own note.
    std::string path = folder + "\\second.wav";
    answerCloseQuestion(second, secondWindow, IDYES);
    answerSaveDialog(second, secondWindow, path, IDOK);
    EXPECT_EQ(0, second.waitForExit());
    WavData saved = readWav(path);
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(std::vector<int>({50}), notesHeard(saved.samples[0], kNoteLevel, kRate));
    EXPECT_TRUE(takeFilesIn(temp).empty());
}

TEST_F(TakeSurvivalE2E, ClosingWithATakeNotSavedAsksAndEachAnswerDoesWhatItSays) {
    struct Answer {
        const char *what;
        bool stillRecording;  // closed during the recording
        int answer;           // to the question
        int dialogButton;     // in the save dialog (Save: IDOK), 0 when none opens
        bool closes;
    } answers[] = {{"Cancel keeps the program running", false, IDCANCEL, 0, false},
                   {"Don't save discards the take", false, IDNO, 0, true},
                   {"Save while recording stops it and saves it", true, IDYES, IDOK, true},
                   {"Save, then cancelling the save dialog, keeps the program running", false, IDYES, IDCANCEL, false}};
    for (const Answer &a : answers) {
        SCOPED_TRACE(a.what);
        freshFolder(temp);
        std::string path = folder + "\\closing.wav";
        DeleteFileA(path.c_str());
        RunningProgram program;
        ASSERT_TRUE(start(program));
        HWND window = program.waitForMainWindow();
        ASSERT_NE(nullptr, window);
        recordNotes(program, window, {kZ}, a.stillRecording);
        if (!a.stillRecording) stopRecording(program, window);

        answerCloseQuestion(program, window, a.answer);
        if (a.dialogButton) answerSaveDialog(program, window, path, a.dialogButton);
        if (!a.closes) {
            // Had the program chosen to close, the window would be gone once it has
            // handled what came before this message.
            DWORD_PTR result = 0;
            EXPECT_NE(0, SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result));
            EXPECT_TRUE(IsWindow(window)) << "still running";
            EXPECT_EQ(3u, takeFilesIn(temp).size()) << "the take is still there";
            answerCloseQuestion(program, window, IDNO);  // the way out
        }
        EXPECT_EQ(0, program.waitForExit());
        EXPECT_TRUE(takeFilesIn(temp).empty());
        bool saved = a.dialogButton == IDOK;
        EXPECT_EQ(saved, GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES);
        if (saved) {
            std::string info = runSox("--i '" + unixPath(path) + "'");
            EXPECT_EQ("2", soxInfoField(info, "Channels")) << info;
            WavData wav = readWav(path);
            ASSERT_TRUE(wav.ok);
            EXPECT_EQ(std::vector<int>({48}), notesHeard(wav.samples[0], kNoteLevel, kRate));
        }
    }
}

TEST(TakeSurvivalResources, MessagesAndButtonsInBothLanguages) {
    HMODULE exe = LoadLibraryExA((exeFolder() + "\\Korvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, exe);
    for (LANGID language : {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                            MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)}) {
        HRSRC block = FindResourceExA(exe, (LPCSTR)RT_STRING, MAKEINTRESOURCEA(IDS_LEFTOVER_RECOVERED / 16 + 1), language);
        ASSERT_NE(nullptr, block) << language;
        const WORD *entry = (const WORD *)LockResource(LoadResource(exe, block));
        std::vector<std::wstring> texts;
        for (int i = 0; i < 16; ++i, entry += 1 + *entry) texts.push_back(std::wstring((const wchar_t *)entry + 1, *entry));
        auto text = [&](int id) { return texts[id % 16]; };
        for (int id = IDS_LEFTOVER_RECOVERED; id <= IDS_CLOSE_CANCEL; ++id) EXPECT_FALSE(text(id).empty()) << id;
        EXPECT_NE(std::wstring::npos, text(IDS_LEFTOVER_LENGTH).find(L"%.1f")) << language;
        EXPECT_NE(std::wstring::npos, text(IDS_LEFTOVER_NOT_RECOVERED).find(L"%1")) << language;
        // Alt+S and Alt+N answer the question.
        EXPECT_NE(std::wstring::npos, text(IDS_CLOSE_SAVE).find(L"&S")) << language;
        EXPECT_NE(std::wstring::npos, text(IDS_CLOSE_DONT_SAVE).find(language == 1033 ? L"&n" : L"&N")) << language;
    }
    FreeLibrary(exe);
}
