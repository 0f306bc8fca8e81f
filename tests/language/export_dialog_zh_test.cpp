// The export dialog and its message under a Chinese user interface language (this
// executable runs with LANG=zh_CN.UTF-8).
#include <gtest/gtest.h>

#include <string>

#include "resources/resource_ids.h"
#include "support/korvane_settings.h"
#include "support/program_runner.h"

using namespace testing_support;

namespace {

std::wstring textOf(HWND w) {
    wchar_t text[128] = L"";
    SendMessageW(w, WM_GETTEXT, 128, (LPARAM)text);
    return text;
}

// A visible dialog of the program with this caption, waiting up to 30 s.
HWND waitForDialog(const RunningProgram &program, const wchar_t *caption) {
    for (int i = 0; i < 3000; ++i) {
        for (HWND w : program.topLevelWindows())
            if (windowClass(w) == "#32770" && IsWindowVisible(w) && textOf(w) == caption) return w;
        Sleep(10);
    }
    return nullptr;
}

}  // namespace

TEST(ChineseUserInterface, ExportDialogAndItsMessageAreInChinese) {
    clearKorvaneSettings();
    storeSetting("ASIO", -1);  // no first-start dialog
    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_VARIANT", ""}}));
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    PostMessageA(window, WM_COMMAND, CMD_EXPORT, 0);
    HWND dialog = waitForDialog(program, L"\u8f93\u51fa");  // 输出
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(L"\u548c\u5f26", textOf(GetDlgItem(dialog, IDC_EXPORT_CHORD)));  // 和弦
    EXPECT_EQ(L"\u5173\u95ed", textOf(GetDlgItem(dialog, IDCANCEL)));          // 关闭
    // List entries too.
    wchar_t entry[64] = L"";
    SendMessageW(GetDlgItem(dialog, IDC_EXPORT_CHANNELS), CB_GETLBTEXT, 1, (LPARAM)entry);
    EXPECT_STREQ(L"\u7acb\u4f53\u58f0", entry);  // 立体声

    // A SoundFont that cannot be created (a folder has its name): the message in Chinese.
    HWND keys = GetDlgItem(dialog, IDC_EXPORT_KEYS);
    SendMessageA(keys, WM_MOUSEMOVE, 0, MAKELPARAM(10, 50));
    SendMessageA(keys, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 50));
    std::string missing = tempFolder("export-zh") + "\\font.sf2";
    CreateDirectoryA(missing.c_str(), nullptr);
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FILE), WM_SETTEXT, 0, (LPARAM)missing.c_str());
    HWND type = GetDlgItem(dialog, IDC_EXPORT_TYPE);
    SendMessageA(type, CB_SETCURSEL, 1, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_EXPORT_TYPE, CBN_SELCHANGE), (LPARAM)type);
    PostMessageA(GetDlgItem(dialog, IDC_EXPORT_START), BM_CLICK, 0, 0);
    HWND box = waitForDialog(program, L"Korvane");
    ASSERT_NE(nullptr, box);
    bool saysIt = false;
    const std::wstring said = L"\u65e0\u6cd5\u521b\u5efa\u6587\u4ef6\u3002\n";  // 无法创建文件。 then the file
    for (HWND child : childWindows(box)) saysIt = saysIt || textOf(child).compare(0, said.size(), said) == 0;
    EXPECT_TRUE(saysIt);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());
    clearKorvaneSettings();
}
