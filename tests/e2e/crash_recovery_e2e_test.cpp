// The real program under Wine with a demo instrument that faults: one message names
// the fault (and the file that keeps the recording not yet saved), and the exit
// code is the exception's code.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cmath>
#include <set>

#include "audio/asio.h"
#include "audio/test_driver_registry.h"
#include "support/korvane_settings.h"
#include "support/program_runner.h"
#include "support/program_ui.h"
#include "support/sox.h"
#include "support/wav_file.h"

using namespace testing_support;

namespace {

const UINT kFaultMessage = WM_APP + 0x123;

std::string recoveryFolder() { return documentsFolder(); }

std::set<std::string> wavFilesIn(const std::string &folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*.wav").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.insert(found.cFileName);
    while (FindNextFileA(h, &found));
    FindClose(h);
    return names;
}

HWND editorOf(HWND window) {
    for (HWND child : childWindows(window))
        if (windowClass(child) == "KorvaneDemoEditor") return child;
    return nullptr;
}

}  // namespace

TEST(CrashRecovery, EditorFaultWithNothingRecordedNamesTheFaultAndWritesNoFile) {
    struct Case {
        const char *kind;
        const char *code;
    } cases[] = {{"access", "C0000005"}, {"divide", "C0000094"}, {"stack", "C00000FD"}};
    clearKorvaneSettings();
    storeSetting("ASIO", -1);  // no driver, no first-start dialog
    std::string log = tempFolder("crash") + "\\calls.log";
    std::set<std::string> before = wavFilesIn(recoveryFolder());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        RunningProgram program;
        ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_LOG", log},
                                               {"KORVANE_DEMO_VARIANT", ""},
                                               {"KORVANE_DEMO_FAULT_MESSAGE", std::to_string(kFaultMessage)},
                                               {"KORVANE_DEMO_FAULT_KIND", c.kind}}));
        HWND window = program.waitForMainWindow();
        ASSERT_NE(nullptr, window);
        HWND editor = editorOf(window);
        ASSERT_NE(nullptr, editor);
        PostMessageA(editor, kFaultMessage, 0, 0);

        std::string text = answerMessageBox(program);
        std::string fault = "Korvane.dll has failed (exception " + std::string(c.code) + " at Korvane.dll+0x";
        EXPECT_NE(std::string::npos, text.find(fault)) << text;
        EXPECT_EQ(std::string::npos, text.find("recording")) << text;
        EXPECT_EQ(std::stoul(c.code, nullptr, 16), (unsigned long)program.waitForExit());
    }
    clearKorvaneSettings();
    EXPECT_EQ(before, wavFilesIn(recoveryFolder()));
}

// Wine (like 64-bit Windows without the exception policy the program sets) ignores a
// fault in a window procedure that runs for a message sent from another process:
// the program goes on and closes normally.
TEST(CrashRecovery, FaultInASentMessageIsIgnoredByWineAndTheProgramGoesOn) {
    clearKorvaneSettings();
    storeSetting("ASIO", -1);
    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_VARIANT", ""},
                                           {"KORVANE_DEMO_FAULT_MESSAGE", std::to_string(kFaultMessage)}}));
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    HWND editor = editorOf(window);
    ASSERT_NE(nullptr, editor);
    DWORD_PTR result = 1;
    ASSERT_NE(0, SendMessageTimeoutA(editor, kFaultMessage, 0, 0, SMTO_NORMAL, 30000, &result));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());
    clearKorvaneSettings();
}

TEST(CrashRecovery, FaultsOnTheDriverThreadWhileRecordingKeepTheRecordingInTheDocuments) {
    const int kRate = 44100;
    const float kNoteLevel = 0.25f * 100 / 127;  // the demo's output 0 at velocity 100
    std::string driverOutput = tempFolder("crash-driver") + "\\driver-output.wav";
    clearKorvaneSettings();
    testdriver::ScopedDrivers drivers;
    testdriver::Config config;
    config.set("SampleType", ASIOSTFloat32LSB).set("Record", driverOutput).set("CurrentRate", kRate);
    ASSERT_TRUE(testdriver::addChosenDriver(drivers, "Korvane Crash E2E Driver",
                                            "{3C5E8A17-6D2B-4E91-B0F4-7A1C9D2E5B60}", config, kRate));

    struct Case {
        const char *kind;
        const char *code;
        const char *fault;  // the start of the message
    } cases[] = {{"access", "C0000005", "The instrument Korvane.dll has failed (exception C0000005 at Korvane.dll+0x"},
                 {"divide", "C0000094", "The instrument Korvane.dll has failed (exception C0000094 at Korvane.dll+0x"},
                 {"stack", "C00000FD", "The instrument Korvane.dll has failed (exception C00000FD at Korvane.dll+0x"},
                 // Another runtime's exception is raised from the system's code, so the
                 // address does not name the instrument.
                 {"cxx", "E06D7363", "Korvane has failed (exception E06D7363 at 0x"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        DeleteFileA(driverOutput.c_str());
        // The demo faults in its 200th block after the note: about 1.2 s of 256-frame blocks.
        RunningProgram program;
        ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_VARIANT", ""},
                                               {"KORVANE_DEMO_FAULT_BLOCKS", "199"},
                                               {"KORVANE_DEMO_FAULT_KIND", c.kind}}));
        HWND window = program.waitForMainWindow();
        ASSERT_NE(nullptr, window);
        HWND status = statusLine(window);
        ASSERT_TRUE(waitForFileSize(driverOutput, 44 + kRate * 8 / 10));
        pressKey(window, VK_F3, 0x3D);
        ASSERT_TRUE(waitUntil(program, [&] { return windowText(status).compare(0, 11, "Recording: ") == 0; }));
        PostMessageA(window, WM_KEYDOWN, 'Z', keyParam(44, false));  // held until the fault

        std::string text = answerMessageBox(program);
        EXPECT_EQ(0u, text.find(c.fault)) << text;
        const std::string saved = "The recording that was not yet saved is in\n";
        size_t at = text.find(saved);
        ASSERT_NE(std::string::npos, at) << text;
        std::string path = text.substr(at + saved.size());
        EXPECT_EQ(std::stoul(c.code, nullptr, 16), (unsigned long)program.waitForExit());

        EXPECT_EQ(0u, path.find(recoveryFolder() + "\\Recording ")) << path;
        std::string info = runSox("--i '" + unixPath(path) + "'");
        EXPECT_EQ("2", soxInfoField(info, "Channels")) << info;
        EXPECT_EQ("44100", soxInfoField(info, "Sample Rate"));
        EXPECT_EQ("32-bit Floating Point PCM", soxInfoField(info, "Sample Encoding"));
        WavData wav = readWav(path);
        ASSERT_TRUE(wav.ok);
        std::string samples = "= " + std::to_string(wav.frames()) + " samples";
        EXPECT_NE(std::string::npos, soxInfoField(info, "Duration").find(samples));
        // Note 48 from its start to the fault, less what was still on its way to the capture files.
        size_t first = 0, last = 0;
        ASSERT_TRUE(loudRegion(wav.samples[0], kNoteLevel / 4, &first, &last));
        EXPECT_GT(last - first, (size_t)(kRate * 0.5));
        double f = zeroCrossingFrequency(wav.samples[0], kRate, first + kRate / 100, last);
        EXPECT_NEAR(440.0 * std::pow(2.0, (48 - 69) / 12.0), f, 1.0);
        EXPECT_NEAR(kNoteLevel, peak(wav.samples[0], first, last), kNoteLevel * 0.05);
        EXPECT_NEAR(kNoteLevel / 2, peak(wav.samples[1], first, last), kNoteLevel * 0.05);
        DeleteFileA(path.c_str());
    }
    clearKorvaneSettings();
}

TEST(CrashRecovery, MessagesInBothLanguages) {
    HMODULE exe = LoadLibraryExA((exeFolder() + "\\Korvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, exe);
    for (LANGID language : {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                            MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)}) {
        // String-table block 2300 / 16 + 1 holds the four texts.
        HRSRC block = FindResourceExA(exe, (LPCSTR)RT_STRING, MAKEINTRESOURCEA(2300 / 16 + 1), language);
        ASSERT_NE(nullptr, block) << language;
        const WORD *entry = (const WORD *)LockResource(LoadResource(exe, block));
        for (int i = 0; i < 2300 % 16; ++i) entry += 1 + *entry;
        for (int i = 0; i < 4; ++i, entry += 1 + *entry) {
            std::wstring text((const wchar_t *)entry + 1, *entry);
            EXPECT_NE(std::wstring::npos, text.find(L"%1")) << language << " " << i;
        }
    }
    FreeLibrary(exe);
}
