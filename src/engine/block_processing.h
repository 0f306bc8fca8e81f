// The work done once per driver buffer around the plugin, on the driver's thread.
#pragma once

#include <windows.h>

// Returns 1 when a plugin is loaded and the block was processed, else 0.
int processBlock(int frames);

extern volatile float gCpuLoad;           // percent, written by the block processing
extern volatile LONG gHighResClock;       // the start-up probe found QueryPerformanceCounter
void probeClock();
