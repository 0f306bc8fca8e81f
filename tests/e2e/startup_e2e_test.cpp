// The real program under Wine: start-up, its window, and the shutdown order.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/korvane_settings.h"
#include "support/program_runner.h"

using namespace testing_support;

namespace {

std::vector<std::string> dispatchLines(const std::string &log) {
    std::vector<std::string> out;
    for (const std::string &line : readLines(log))
        if (line.compare(0, 9, "dispatch ") == 0) out.push_back(line);
    return out;
}

bool logHas(const std::string &log, const std::string &prefix) {
    for (const std::string &line : readLines(log))
        if (line.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

std::string installPath() {
    char value[1024] = "";
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\Morvex\\Korvane\\1.0", "InstallPath", RRF_RT_REG_SZ, nullptr,
                     value, &size) != ERROR_SUCCESS)
        return "";
    return value;
}

// Along the demo's 400-pixel editor the long form ("No audio driver is open: choose one
// in System > Settings...") does not fit: the status line shows the short one.
const char kNoDriverText[] = "No audio driver: see System > Settings...";

// The status line's text changes on the program's 40 ms timer.
bool waitForWindowText(const RunningProgram &program, HWND window, const std::string &text) {
    DWORD start = GetTickCount();
    while (windowText(window) != text) {
        if (GetTickCount() - start > 30000) return false;
        if (WaitForSingleObject(program.process(), 20) == WAIT_OBJECT_0) return windowText(window) == text;
    }
    return true;
}

HWND statusLineOf(HWND window) {
    for (HWND child : childWindows(window))
        if (_stricmp(windowClass(child).c_str(), "Static") == 0 && windowText(child).compare(0, 5, "CPU: ") != 0)
            return child;
    return nullptr;
}

}  // namespace

TEST(ProgramStartup, StoredDriverThatIsNotInstalledLeavesAStatusLineSayingSo) {
    clearKorvaneSettings();
    storeSetting("ASIO", 77);  // beyond the installed drivers
    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_VARIANT", ""}}));
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    HWND status = statusLineOf(window);
    ASSERT_NE(nullptr, status);
    EXPECT_TRUE(waitForWindowText(program, status, kNoDriverText));
    // Sound off: "Audio Stopped" takes precedence.
    PostMessageA(window, WM_COMMAND, 40012, 0);
    EXPECT_TRUE(waitForWindowText(program, status, "Audio Stopped"));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());
    clearKorvaneSettings();
}

TEST(ProgramStartup, ShowsTheEditorWindowAndShutsDownInOrder) {
    std::string folder = tempFolder("startup");
    std::string log = folder + "\\calls.log";
    clearKorvaneSettings();
    storeSetting("ASIO", -1);  // a driver choice exists: no first-start dialog

    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_LOG", log}, {"KORVANE_DEMO_VARIANT", ""},
                                           {"KORVANE_DEMO_EDITOR", "400x300"}}));
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);

    // One top-level window, titled "Korvane", with the menu bar.
    std::vector<HWND> windows = program.topLevelWindows();
    ASSERT_EQ(1u, windows.size());
    EXPECT_EQ("Korvane", windowText(window));
    EXPECT_NE(nullptr, GetMenu(window));

    // Client area = editor rectangle + 18-pixel status strip.
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(400, client.right - client.left);
    EXPECT_EQ(318, client.bottom - client.top);

    // The strip: status line and CPU meter, 18 pixels high along the bottom.
    std::vector<HWND> statics;
    for (HWND child : childWindows(window))
        if (windowClass(child) == "Static" || windowClass(child) == "STATIC") statics.push_back(child);
    ASSERT_EQ(2u, statics.size());
    std::vector<std::string> texts = {windowText(statics[0]), windowText(statics[1])};
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "CPU: 0.0%"));
    // No driver is chosen: the status line says so.
    HWND status = texts[0] == "CPU: 0.0%" ? statics[1] : statics[0];
    EXPECT_TRUE(waitForWindowText(program, status, kNoDriverText));
    for (HWND s : statics) {
        RECT r;
        GetWindowRect(s, &r);
        MapWindowPoints(nullptr, window, (POINT *)&r, 2);
        EXPECT_EQ(18, r.bottom - r.top);
        EXPECT_EQ(300, r.top);
        int width = r.right - r.left;
        if (s == status) {
            EXPECT_EQ(0, r.left);
            EXPECT_EQ(400 - 68, width);
        } else {
            EXPECT_EQ(400 - 68, r.left);
            EXPECT_EQ(68, width);
        }
    }

    // The program folder is recorded at every start.
    EXPECT_EQ(exeFolder(), installPath());

    // Close it as the system menu would.
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());

    // Suspend, editor close and close, in this order, and nothing after them.
    std::vector<std::string> calls = dispatchLines(log);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ("dispatch 12 0 0 0", calls[calls.size() - 3]);
    EXPECT_EQ("dispatch 15 0 0 0", calls[calls.size() - 2]);
    EXPECT_EQ("dispatch 1 0 0 0", calls[calls.size() - 1]);
    // It was opened at 44100 Hz and 882 frames, and resumed.
    EXPECT_TRUE(logHas(log, "dispatch 10 0 0 44100"));
    EXPECT_TRUE(logHas(log, "dispatch 11 0 882 0"));
    EXPECT_TRUE(logHas(log, "dispatch 12 0 1 0"));
}

TEST(ProgramStartup, MenuResourceHasFivePopupsAndTheAccelerators) {
    HMODULE exe = LoadLibraryExA((exeFolder() + "\\Korvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, exe);
    HMENU menu = LoadMenuA(exe, MAKEINTRESOURCEA(101));
    ASSERT_NE(nullptr, menu);
    ASSERT_EQ(5, GetMenuItemCount(menu));
    const int itemsPerPopup[] = {16, 4, 2, 1, 3};  // separators included
    for (int i = 0; i < 5; ++i) {
        HMENU popup = GetSubMenu(menu, i);
        ASSERT_NE(nullptr, popup) << i;
        EXPECT_EQ(itemsPerPopup[i], GetMenuItemCount(popup)) << i;
    }
    EXPECT_EQ(40008u, GetMenuItemID(GetSubMenu(menu, 0), 6));
    // The sound's three commands stand together between the recording's and Exit.
    for (UINT i = 0; i < 3; ++i) EXPECT_EQ(40030u + i, GetMenuItemID(GetSubMenu(menu, 0), 11 + i)) << i;
    EXPECT_EQ(40003u, GetMenuItemID(GetSubMenu(menu, 0), 15));
    EXPECT_EQ(40012u, GetMenuItemID(GetSubMenu(menu, 1), 0));
    DestroyMenu(menu);

    HACCEL accelerators = LoadAcceleratorsA(exe, MAKEINTRESOURCEA(106));
    ASSERT_NE(nullptr, accelerators);
    ACCEL table[16];
    int count = CopyAcceleratorTableA(accelerators, table, 16);
    ASSERT_EQ(5, count);
    const WORD keys[] = {VK_F3, VK_F4, VK_F5, VK_F11, VK_F12};
    const WORD commands[] = {40008, 40010, 40013, 40012, 40015};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(keys[i], table[i].key);
        EXPECT_EQ(commands[i], table[i].cmd);
        EXPECT_TRUE(table[i].fVirt & FVIRTKEY);
    }
    EXPECT_NE(nullptr, LoadImageA(exe, MAKEINTRESOURCEA(130), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    FreeLibrary(exe);
}

TEST(ProgramStartup, ExitCommandAndPluginCommands) {
    clearKorvaneSettings();
    storeSetting("ASIO", -1);
    std::string folder = tempFolder("commands");
    std::string log = folder + "\\calls.log";
    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_LOG", log}, {"KORVANE_DEMO_VARIANT", ""}}));
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);

    // The seven plugin commands reach the plugin as vendor-specific requests 1 ... 7.
    const int commands[] = {40017, 40018, 40020, 40021, 40005, 40023, 40024};
    for (int command : commands) PostMessageA(window, WM_COMMAND, command, 0);
    ASSERT_TRUE(waitForLogLine(log, "vendor 7"));
    std::vector<std::string> vendor;
    for (const std::string &line : readLines(log))
        if (line.compare(0, 7, "vendor ") == 0) vendor.push_back(line);
    ASSERT_EQ(7u, vendor.size());
    for (int i = 0; i < 7; ++i) EXPECT_EQ("vendor " + std::to_string(i + 1), vendor[i]);

    PostMessageA(window, WM_COMMAND, 40003, 0);
    EXPECT_EQ(0, program.waitForExit());
    EXPECT_EQ("dispatch 1 0 0 0", dispatchLines(log).back());
}

TEST(ProgramStartup, FailedStartsExplainThemselvesThenEndWithExitCodeZeroAndNoWindow) {
    struct Case {
        const char *name;
        const char *variant;
        const char *dll;      // what lies beside the program as Korvane.dll; null = nothing
        const wchar_t *says;  // part of the message
    } cases[] = {
        {"no-editor", "noeditor", "Korvane.dll", L"has no editor"},
        {"null-plugin", "nullplugin", "Korvane.dll", L"returned no plugin"},
        {"no-entry", "", "Korvane-noentry.dll", L"has no \"vstfx\" entry point"},
        {"no-module", "", nullptr, L"was not found"},
        {"not-a-module", "", "korvane_tests_not_a_dll.txt", L"could not be loaded"},
    };
    clearKorvaneSettings();
    storeSetting("ASIO", -1);
    for (const Case &c : cases) {
        std::string folder = tempFolder(c.name);
        std::string log = folder + "\\calls.log";
        ASSERT_TRUE(copyFileTo(exeFolder() + "\\Korvane.exe", folder + "\\Korvane.exe"));
        if (c.dll && std::string(c.dll).find(".txt") != std::string::npos) {
            HANDLE f = CreateFileA((folder + "\\Korvane.dll").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                   nullptr);
            DWORD written = 0;
            WriteFile(f, "not a program", 13, &written, nullptr);
            CloseHandle(f);
        } else if (c.dll) {
            ASSERT_TRUE(copyFileTo(exeFolder() + "\\" + c.dll, folder + "\\Korvane.dll"));
        }
        RunningProgram program;
        ASSERT_TRUE(program.start(folder, {{"KORVANE_DEMO_LOG", log}, {"KORVANE_DEMO_VARIANT", c.variant}}))
            << c.name;
        // One message naming what is wrong and the full path the program looked at.
        std::wstring text;
        HWND box = waitForMessageBox(program, &text);
        ASSERT_NE(nullptr, box) << c.name;
        EXPECT_EQ("Korvane", windowText(box)) << c.name;
        EXPECT_NE(std::wstring::npos, text.find(c.says)) << c.name;
        std::wstring path(folder.begin(), folder.end());
        EXPECT_NE(std::wstring::npos, text.find(path + L"\\Korvane.dll")) << c.name;
        // No main window behind it.
        for (HWND w : program.topLevelWindows()) EXPECT_EQ(box, w) << c.name;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(0, program.waitForExit()) << c.name;
        // No editor window was ever asked for.
        for (const std::string &line : readLines(log)) EXPECT_NE(0, line.compare(0, 11, "dispatch 14")) << c.name;
        if (std::string(c.variant) == "noeditor") {
            // The plugin was opened, and closed by the exit action.
            EXPECT_TRUE(logHas(log, "dispatch 0 0 0 0")) << c.name;
            EXPECT_EQ("dispatch 1 0 0 0", dispatchLines(log).back()) << c.name;
        }
    }
}
