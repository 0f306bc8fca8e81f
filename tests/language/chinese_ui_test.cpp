// Run by CTest with a Chinese user interface language (LANG=zh_CN.UTF-8): the
// program's own dialogs come up in Chinese. Wine fixes a process's language from its
// parent's locale, so this runs as an executable of its own.
#include <gtest/gtest.h>

#include "support/korvane_settings.h"
#include "support/program_runner.h"
#include "support/status_strip.h"

using namespace testing_support;

TEST(ChineseUserInterface, FirstStartDialogIsInChinese) {
    ASSERT_EQ(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), GetUserDefaultUILanguage())
        << "the suite must run this executable with LANG=zh_CN.UTF-8 and the compiled locale";
    clearKorvaneSettings();
    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_VARIANT", ""}}));
    ASSERT_EQ(0u, WaitForInputIdle(program.process(), 30000));

    // Input idle can come before the dialog shows (it does for the 32-bit program
    // under Wine): wait for the dialog itself.
    HWND dialog = nullptr;
    for (DWORD start = GetTickCount(); !dialog && GetTickCount() - start < 30000;) {
        for (HWND w : program.topLevelWindows())
            if (windowClass(w) == "#32770") dialog = w;
        if (!dialog && WaitForSingleObject(program.process(), 20) == WAIT_OBJECT_0) break;
    }
    ASSERT_NE(nullptr, dialog);
    wchar_t caption[64] = L"";
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(L"\u8bbe\u7f6e", caption);  // 设置
    wchar_t close[64] = L"";
    GetWindowTextW(GetDlgItem(dialog, IDCANCEL), close, 64);
    EXPECT_STREQ(L"\u5173\u95ed", close);  // 关闭

    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ("Korvane", windowText(window));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());
    clearKorvaneSettings();
}

// The status line speaks Chinese too: no driver is chosen, then sound is switched off.
TEST(ChineseUserInterface, StatusLineIsInChinese) {
    clearKorvaneSettings();
    storeSetting("ASIO", -1);
    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_VARIANT", ""}}));
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    HWND status = nullptr;
    for (HWND child : childWindows(window))
        if (_stricmp(windowClass(child).c_str(), "Static") == 0 && windowTextW(child).compare(0, 4, L"CPU:") != 0)
            status = child;
    ASSERT_NE(nullptr, status);
    auto waitForText = [&](const std::wstring &prefix) {
        DWORD start = GetTickCount();
        while (windowTextW(status).compare(0, prefix.size(), prefix) != 0) {
            if (GetTickCount() - start > 30000) return false;
            WaitForSingleObject(program.process(), 20);
        }
        return true;
    };
    EXPECT_TRUE(waitForText(L"\u6ca1\u6709\u6253\u5f00\u97f3\u9891\u9a71\u52a8\u7a0b\u5e8f"));  // 没有打开音频驱动程序
    PostMessageA(window, WM_COMMAND, 40012, 0);
    EXPECT_TRUE(waitForText(L"\u58f0\u97f3\u5df2\u505c\u6b62"));  // 声音已停止
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());
    clearKorvaneSettings();
}

// The Chinese no-driver texts are whole along the demo instrument's 400-pixel editor.
TEST(ChineseUserInterface, NoDriverTextsAreWholeAtTheDesignedWidth) {
    struct Case {
        bool recordAsked;
        const char *missing;
        const wchar_t *starts;
    } cases[] = {
        {false, nullptr, L"\u6ca1\u6709"},                    // 没有
        {true, nullptr, L"\u5f55\u97f3"},                     // 录音
        {false, "ASIO4ALL v2", L"\u201cASIO4ALL v2\u201d"},  // “ASIO4ALL v2”
        {false, "Yamaha Steinberg USB ASIO", L"\u201cYamaha Steinberg USB ASIO\u201d"},
    };
    for (const Case &c : cases) {
        StatusShown shown = noDriverStatusAt(400, c.recordAsked, c.missing);
        EXPECT_NE(std::wstring::npos, shown.text.find(c.starts)) << c.missing;
        EXPECT_LE(shown.textWidth, shown.lineWidth) << c.missing;
    }
}
