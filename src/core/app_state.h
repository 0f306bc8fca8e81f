// Process-wide settings and flags shared by the shell, the dialogs and the engine.
#pragma once

#include <windows.h>

#include <cstdint>

extern int32_t gTempo;                // beats per minute, 10 ... 500
extern int32_t gOnTop;                // always on top; non-zero = on
extern volatile LONG gAudioStopped;   // 1 while sound is switched off
extern int32_t gFirstStart;           // set when no driver choice was ever stored
extern HINSTANCE gInstance;
extern HWND gStatusLine;
extern HWND gCpuMeter;
extern wchar_t gStatusText[256];
// Set by any thread whose change the status line should show; the main window's
// timer redraws the line and clears it (GUI thread).
extern volatile LONG gStatusDirty;

const char kSettingsKey[] = "Software\\Morvex\\Korvane\\1.0";
