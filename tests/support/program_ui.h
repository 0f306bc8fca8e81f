// Driving the real program's windows from a test, as a user's keys and clicks would.
#pragma once

#include <windows.h>

#include <string>

#include "support/program_runner.h"

namespace testing_support {

// lParam of a WM_KEYDOWN / WM_KEYUP for the key with this scan code.
LPARAM keyParam(int scanCode, bool up);
// A function key as typed: the message loop's accelerator table sees it.
void pressKey(HWND window, WORD virtualKey, int scanCode);

// Polls until `done` holds; gives up after the time-out or when the program has ended.
template <class Condition>
bool waitUntil(const RunningProgram &program, Condition done, DWORD timeoutMs = 30000) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        if (WaitForSingleObject(program.process(), 20) == WAIT_OBJECT_0) return done();
    }
}

HWND ownedDialog(const RunningProgram &program, HWND owner);
HWND waitForDialog(const RunningProgram &program, HWND owner);
// The file name box of the system's open and save dialogs (cmb13, or edt1 in older forms).
HWND fileNameBox(HWND dialog);

// The window procedure of a dialog sees this exactly as a click or a list choice.
void notify(HWND dialog, int id, int code, bool wait = true);
void chooseComboItem(HWND dialog, int id, int item, bool wait = true);

// The status line of the main window (the strip's static that is not the CPU meter).
HWND statusLine(HWND window);

// Whether the main window's menu item for this command shows enabled when its menu
// opens now (the demo instrument's editor reads the menu inside the program).
bool menuItemEnabled(HWND window, int command);

// The window that has the keyboard focus in the thread that owns `window`; null if none.
HWND focusedWindow(HWND window);
// Typed on the keyboard: the system hands the keys to whatever has the focus in the
// foreground window when they are read.
void typeText(const std::wstring &text);
// One key, with Alt, Shift or Ctrl held around it when `modifier` names one of them.
void typeKey(WORD virtualKey, WORD modifier = 0);

// Waits for the program's message box (a dialog captioned "Korvane"), returns its text
// and presses OK; empty when none came (the process ended first, or after the time-out).
std::string answerMessageBox(RunningProgram &program, DWORD timeoutMs = 30000);
// Where the program puts recovered recordings and named exports: Documents\Korvane.
std::string documentsFolder();

}  // namespace testing_support
