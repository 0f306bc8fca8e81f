// The main window: menu commands, menu states, the 40 ms housekeeping timer,
// typed keys as notes, and the start of the shutdown.
#pragma once

#include <windows.h>

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The vendor-specific index (1 ... 7) a plugin menu command sends, or 0 for other commands.
int pluginCommandIndex(int command);

// Called by the message loop before the accelerators: F3 while record is greyed for
// want of a driver (the accelerator then sends nothing) has the status line say why.
void explainRefusedKey(const MSG &msg);
