// Faults on the capture writer thread and on the MIDI input thread end as a fault on
// the driver's thread does: one message names the fault and the file that keeps the
// recording, the exit code is the exception's code, and the capture files go. The
// program's own crash recovery, writer and MIDI input callback run in the fixture
// KorvaneThreadFaults.exe, since nothing outside the program runs on those threads.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/program_runner.h"
#include "support/recovered_takes.h"

using namespace testing_support;

TEST(ThreadFaults, WriterAndMidiThreadFaultsKeepTheRecording) {
    const float kLevel = 0.25f;  // the fixture's instrument on the left; half on the right
    struct Case {
        const char *thread, *kind, *code;
    } cases[] = {{"writer", "access", "C0000005"},
                 {"writer", "stack", "C00000FD"},
                 {"midi", "access", "C0000005"},
                 {"midi", "divide", "C0000094"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.thread) + " " + c.kind);
        std::string temp = tempFolder(std::string("thread-fault-") + c.thread);
        RunningProgram program;
        ASSERT_TRUE(program.start(exeFolder(),
                                  {{"TMP", temp}, {"KORVANE_FAULT_THREAD", c.thread}, {"KORVANE_FAULT_KIND", c.kind}},
                                  "KorvaneThreadFaults.exe"));
        std::wstring wideText;
        HWND box = waitForMessageBox(program, &wideText);
        ASSERT_NE(nullptr, box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ((long)std::stoul(c.code, nullptr, 16), program.waitForExit());

        std::string text(wideText.begin(), wideText.end());
        EXPECT_EQ(0u, text.find("Korvane has failed (exception " + std::string(c.code) + " at 0x")) << text;
        const std::string saved = "The recording that was not yet saved is in\n";
        size_t at = text.find(saved);
        ASSERT_NE(std::string::npos, at) << text;
        std::string path = text.substr(at + saved.size());
        EXPECT_EQ(0u, path.find(recoveredRecordingsFolder() + "\\Recording ")) << path;

        RecoveredFile file = readRecovered(path);
        EXPECT_EQ(stereoFloatSummary(44100), soxSummary(file));
        ASSERT_TRUE(file.wav.ok);
        EXPECT_GE(file.wav.frames(), 22050u) << "the fault comes once the files hold half a second";
        EXPECT_EQ(std::vector<int>({48}), notesHeard(file.wav.samples[0], kLevel, 44100));
        EXPECT_NEAR(kLevel / 2, peak(file.wav.samples[1], 0, file.wav.frames()), kLevel * 0.02);
        EXPECT_TRUE(takeFilesIn(temp).empty()) << "recovered: nothing is left for the next start";
        DeleteFileA(path.c_str());
    }
}
