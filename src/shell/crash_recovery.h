// What happens when a fault nobody handles reaches the program (in the plugin,
// most likely): the recording not yet saved goes into a WAV file in the user's
// documents, the user is told what failed and where the recording is, and the
// process ends with the exception code as its exit code.
//
// Everything the fault path needs (folder, texts, a thread with a healthy stack)
// is made at start-up; the fault path itself allocates nothing and uses fixed
// static buffers, so it still works when the fault came from a damaged heap or an
// exhausted stack.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Start-up: finds the folder for recovered recordings, loads the message texts,
// starts the recovery thread and installs the unhandled-exception filter.
void installCrashRecovery(HINSTANCE instance);

// "C0000005" + atPlugin + "1A2B" (" at Korvane.dll+0x" in English) when the address
// lies inside the plugin module [pluginBase, pluginBase + pluginSize), else
// "C0000005" + atAddress + the address in full (" at 0x"). Always terminated.
void describeFault(uint32_t code, uintptr_t address, uintptr_t pluginBase, size_t pluginSize,
                   const wchar_t *atPlugin, const wchar_t *atAddress, wchar_t *out, size_t outSize);

// The frames to recover from the exact count of frames both capture files took:
// none when the recording was saved or is empty.
bool framesToRecover(uint64_t recordedFrames, bool saved, uint64_t *frames);

// The faulting thread's watch over the recovery thread, which counts its steps
// (chunks written, files tried) and flags its message while it is shown. True once
// the count stood still for limitMs, summed over the elapsed times, with no message
// up: the recovery is stuck and the process should end.
const DWORD kRecoveryStallMs = 10000;
struct RecoveryWatch {
    LONG progress;  // the count last seen
    DWORD quietMs;  // how long it has stood still
};
bool recoveryStalled(RecoveryWatch &watch, LONG progress, bool messageShown, DWORD elapsedMs, DWORD limitMs);
