// The work done once per driver buffer around the plugin, on the driver's thread.
#pragma once

#include <windows.h>

#include <cstdint>

// Returns 1 when a plugin is loaded and the block was processed, else 0: without a
// plugin (CPU load then 0), and for a block the engine buffers cannot hold (frames
// not in 1 ... block size, or no silence or discard buffer), which is left untouched.
int processBlock(int frames);

extern volatile float gCpuLoad;           // percent, written by the block processing
extern volatile LONG gHighResClock;       // the start-up probe found QueryPerformanceCounter
void probeClock();

// Time spent inside and between the block processing calls, in clock ticks.
struct CpuLoadCounters {
    int64_t idle;
    int64_t busy;
    int64_t lastEnd;
    int64_t frames;
};

// At the start of a block read at time t0: the time since the last block ended is idle.
void cpuLoadBlockStart(CpuLoadCounters &counters, int64_t t0);
// At the end of a block of n frames that ran from t0 to t1. Once a quarter second
// of audio (frames >= rate / 4) has been counted, stores the share of busy time in
// percent in *load, starts a new window and returns true.
bool cpuLoadBlockEnd(CpuLoadCounters &counters, int64_t t0, int64_t t1, int frames, int sampleRate, float *load);

// The block processing's accumulators; all 0 at start.
extern CpuLoadCounters gCpuLoadCounters;
