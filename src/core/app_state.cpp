#include "core/app_state.h"

int32_t gTempo = 120;
int32_t gOnTop = 0;
volatile LONG gAudioStopped = 0;
int32_t gFirstStart = 0;
HINSTANCE gInstance = nullptr;
HWND gStatusLine = nullptr;
HWND gCpuMeter = nullptr;
wchar_t gStatusText[256] = L"";
volatile LONG gStatusDirty = 0;
volatile LONG gExportRunning = 0;
