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
// 1 from the start of an export until the engine is restored after it (GUI thread
// writes it): meanwhile the timer neither re-opens the driver nor changes the
// plugin's rate, and the recorder and sound commands are refused.
extern volatile LONG gExportRunning;

const char kSettingsKey[] = "Software\\Morvex\\Korvane\\1.0";
