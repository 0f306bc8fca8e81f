#include "support/program_ui.h"

#include <shlobj.h>

#include <cstring>

namespace testing_support {

LPARAM keyParam(int scanCode, bool up) {
    LPARAM p = 1 | (LPARAM)scanCode << 16;
    if (up) p |= (LPARAM)1 << 30 | (LPARAM)1 << 31;
    return p;
}

void pressKey(HWND window, WORD virtualKey, int scanCode) {
    PostMessageA(window, WM_KEYDOWN, virtualKey, keyParam(scanCode, false));
    PostMessageA(window, WM_KEYUP, virtualKey, keyParam(scanCode, true));
}

HWND ownedDialog(const RunningProgram &program, HWND owner) {
    for (HWND w : program.topLevelWindows())
        if (windowClass(w) == "#32770" && GetWindow(w, GW_OWNER) == owner) return w;
    return nullptr;
}

HWND waitForDialog(const RunningProgram &program, HWND owner) {
    HWND dialog = nullptr;
    waitUntil(program, [&] { return (dialog = ownedDialog(program, owner)) != nullptr; });
    return dialog;
}

HWND fileNameBox(HWND dialog) {
    HWND name = GetDlgItem(dialog, 0x47C);
    return name ? name : GetDlgItem(dialog, 0x480);
}

void notify(HWND dialog, int id, int code, bool wait) {
    WPARAM w = MAKEWPARAM(id, code);
    LPARAM l = (LPARAM)GetDlgItem(dialog, id);
    if (wait)
        SendMessageA(dialog, WM_COMMAND, w, l);
    else
        PostMessageA(dialog, WM_COMMAND, w, l);
}

void chooseComboItem(HWND dialog, int id, int item, bool wait) {
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, item, 0);
    notify(dialog, id, CBN_SELCHANGE, wait);
}

HWND statusLine(HWND window) {
    for (HWND child : childWindows(window))
        if (_stricmp(windowClass(child).c_str(), "Static") == 0 && windowText(child).compare(0, 5, "CPU: ") != 0)
            return child;
    return nullptr;
}

bool menuItemEnabled(HWND window, int command) {
    // The demo instrument's kMenuItemStateMessage.
    static const UINT message = RegisterWindowMessageA("KorvaneDemoMenuItemState");
    HWND editor = FindWindowExA(window, nullptr, "KorvaneDemoEditor", nullptr);
    DWORD_PTR state = (DWORD_PTR)-1;
    if (!editor || !SendMessageTimeoutA(editor, message, (WPARAM)command, 0, SMTO_NORMAL, 30000, &state)) return false;
    return (LONG_PTR)state != -1 && !(state & (MF_GRAYED | MF_DISABLED));
}

HWND focusedWindow(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

namespace {
INPUT keyInput(WORD virtualKey, WORD character, DWORD flags) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = virtualKey ? (WORD)MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC) : character;
    input.ki.dwFlags = flags;
    return input;
}
}  // namespace

void typeText(const std::wstring &text) {
    for (wchar_t c : text) {
        INPUT keys[2] = {keyInput(0, c, KEYEVENTF_UNICODE), keyInput(0, c, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP)};
        SendInput(2, keys, sizeof(INPUT));
    }
}

void typeKey(WORD virtualKey, WORD modifier) {
    INPUT keys[4];
    UINT n = 0;
    if (modifier) keys[n++] = keyInput(modifier, 0, 0);
    keys[n++] = keyInput(virtualKey, 0, 0);
    keys[n++] = keyInput(virtualKey, 0, KEYEVENTF_KEYUP);
    if (modifier) keys[n++] = keyInput(modifier, 0, KEYEVENTF_KEYUP);
    SendInput(n, keys, sizeof(INPUT));
}

std::string answerMessageBox(RunningProgram &program, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND w : program.topLevelWindows()) {
            if (windowClass(w) != "#32770" || windowText(w) != "Korvane") continue;  // not the program's other dialogs
            std::string text;
            for (HWND child : childWindows(w))
                if (windowClass(child) == "Static") text += windowText(child);
            if (text.empty()) continue;  // not filled in yet
            PostMessageA(w, WM_COMMAND, IDOK, 0);
            return text;
        }
        if (GetTickCount() - start > timeoutMs || WaitForSingleObject(program.process(), 20) == WAIT_OBJECT_0)
            return "";
    }
}

std::string documentsFolder() {
    char documents[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
    return std::string(documents) + "\\Korvane";
}

}  // namespace testing_support
