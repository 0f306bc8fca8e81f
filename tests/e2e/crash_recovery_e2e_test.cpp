// The real program under Wine with a demo instrument that faults: one message names
// the fault (and the file that keeps the recording not yet saved), and the exit
// code is the exception's code.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <set>

#include "support/korvane_settings.h"
#include "support/program_runner.h"

using namespace testing_support;

namespace {

const UINT kFaultMessage = WM_APP + 0x123;

std::string recoveryFolder() {
    char documents[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
    return std::string(documents) + "\\Korvane";
}

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

// Waits for the program's message box, returns its text and presses OK; empty when
// none came (the process ended first, or after the time-out).
std::string answerMessageBox(RunningProgram &program, DWORD timeoutMs = 30000) {
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND w : program.topLevelWindows()) {
            if (windowClass(w) != "#32770") continue;
            std::string text;
            for (HWND child : childWindows(w))
                if (windowClass(child) == "Static") text += windowText(child);
            if (text.empty()) continue;  // not filled in yet
            EXPECT_EQ("Korvane", windowText(w));
            PostMessageA(w, WM_COMMAND, IDOK, 0);
            return text;
        }
        if (GetTickCount() - start > timeoutMs || WaitForSingleObject(program.process(), 20) == WAIT_OBJECT_0)
            return "";
    }
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
        EXPECT_NE(std::string::npos, text.find("Korvane.dll has failed (exception " + std::string(c.code) + " at Korvane.dll+0x"))
            << text;
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
