// Driving the real program's windows from a test, as a user's keys and clicks would.
#pragma once

#include <windows.h>

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

// The window procedure of a dialog sees this exactly as a click or a list choice.
void notify(HWND dialog, int id, int code, bool wait = true);
void chooseComboItem(HWND dialog, int id, int item, bool wait = true);

// The status line of the main window (the strip's static that is not the CPU meter).
HWND statusLine(HWND window);

}  // namespace testing_support
