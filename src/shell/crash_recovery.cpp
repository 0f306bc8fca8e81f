#include "shell/crash_recovery.h"

#include <climits>
#include <initializer_list>

#include "audio/engine_state.h"
#include "core/app_state.h"
#include "core/gate.h"
#include "engine/capture_files.h"
#include "engine/capture_take.h"
#include "engine/save_recording.h"
#include "engine/transport_state.h"
#include "engine/wav_writer.h"
#include "plugin/plugin_instance.h"
#include "resources/resource_ids.h"
#include "shell/recovered_recording.h"

namespace {

const size_t kTextSize = 512;
const DWORD kGateWaitMs = 1000;
const DWORD kWatchStepMs = 500;

// Made at start-up.
RecoveryFolders gFolders;
wchar_t gTextPluginFault[kTextSize];
wchar_t gTextHostFault[kTextSize];
wchar_t gTextSaved[kTextSize];
wchar_t gTextNotSaved[kTextSize];
wchar_t gTextAtPlugin[kTextSize];
wchar_t gTextAtAddress[kTextSize];
HANDLE gFaultEvent = nullptr;
HANDLE gRecoveryThread = nullptr;
DWORD gRecoveryThreadId = 0;

// Watched by the faulting thread while the recovery thread works (as are the
// buffers' progress counts).
volatile LONG gRecoveryMessageShown = 0;

// Filled by the first fault.
volatile LONG gFaulted = 0;
uint32_t gFaultCode = 0;
uintptr_t gFaultAddress = 0;

// The fault path's own memory.
RecoveryBuffers gBuffers;
wchar_t gPath[kRecoveryPathSize];
wchar_t gMessage[kTextSize * 3];
wchar_t gFaultText[128];

// Size of a mapped module from its own headers; 0 when they do not look like a PE image.
size_t moduleSize(HMODULE module) {
    if (!module) return 0;
    const IMAGE_DOS_HEADER *dos = (const IMAGE_DOS_HEADER *)module;
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 || dos->e_lfanew > 4096) return 0;
    const IMAGE_NT_HEADERS *nt = (const IMAGE_NT_HEADERS *)((const uint8_t *)module + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return 0;
    return nt->OptionalHeader.SizeOfImage;
}

// The recording still held in the capture files and not yet saved; false when there
// is none.
bool recordingToRecover(HANDLE *left, HANDLE *right, uint64_t *frames) {
    if (!framesToRecover(recordedFramesForRecovery(), gRecorder.recordingSaved != 0, frames)) return false;
    *left = gCaptureLeft;
    *right = gCaptureRight;
    return true;
}

// Keeps the driver's thread and the capture writer away from the capture files.
// Waits a bounded time: the faulting thread may be one of them and never leave.
void quietenEngine() {
    // Record and play do nothing while sound is off: the GUI thread, still running,
    // leaves the capture files alone while they are read.
    gAudioStopped = 1;
    gRecorder.playing = 0;
    gEngineGate.closeWithin(kGateWaitMs);
    gCaptureLock.closeWithin(kGateWaitMs);
}

void recoverAfterFault() {
    quietenEngine();
    uintptr_t base = (uintptr_t)gPlugin.module;
    size_t pluginSize = moduleSize(gPlugin.module);
    describeFault(gFaultCode, gFaultAddress, base, pluginSize, gTextAtPlugin, gTextAtAddress, gFaultText,
                  sizeof gFaultText / sizeof gFaultText[0]);
    const size_t size = sizeof gMessage / sizeof gMessage[0];
    gMessage[0] = L'\0';
    bool inPlugin = base && gFaultAddress >= base && gFaultAddress - base < pluginSize;
    appendMessage(gMessage, size, inPlugin ? gTextPluginFault : gTextHostFault, gFaultText);

    HANDLE left, right;
    uint64_t frames = 0;
    if (recordingToRecover(&left, &right, &frames)) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        gPath[0] = L'\0';
        bool saved = saveRecoveredRecording(left, right, frames, gEngine.sampleRate, gFolders.documents,
                                            gFolders.fallback, gFolders.name, now, gPath,
                                            sizeof gPath / sizeof gPath[0], gBuffers);
        // Written out: its capture files go with the process. Else they stay for the
        // next start to try again.
        if (saved) endCapturedTake();
        appendMessage(gMessage, size, saved ? gTextSaved : gTextNotSaved, gPath);
    }
    // The file is safe before anything that needs the heap runs.
    gRecoveryMessageShown = 1;
    MessageBoxW(nullptr, gMessage, L"Korvane", MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
}

// Waits for the recovery thread to end the process; ends it here when the recovery
// stops making progress (stuck on a heap lock the fault left held, say).
void waitForRecovery() {
    RecoveryWatch watch = {gBuffers.progress, 0};
    for (;;) {
        DWORD before = GetTickCount();
        if (WaitForSingleObject(gRecoveryThread, kWatchStepMs) != WAIT_TIMEOUT) return;
        if (recoveryStalled(watch, gBuffers.progress, gRecoveryMessageShown != 0, GetTickCount() - before,
                            kRecoveryStallMs))
            return;
    }
}

DWORD WINAPI recoveryThread(void *) {
    WaitForSingleObject(gFaultEvent, INFINITE);
    recoverAfterFault();
    TerminateProcess(GetCurrentProcess(), gFaultCode);
    return 0;
}

LONG WINAPI unhandledFault(EXCEPTION_POINTERS *info) {
    uint32_t code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 1;
    // A fault while recovering ends the process at once.
    if (GetCurrentThreadId() == gRecoveryThreadId) TerminateProcess(GetCurrentProcess(), gFaultCode);
    // Only the first fault is reported; later faulting threads wait for the end.
    if (InterlockedCompareExchange(&gFaulted, 1, 0) != 0) {
        for (;;) Sleep(INFINITE);
    }
    gFaultCode = code;
    gFaultAddress = info && info->ExceptionRecord ? (uintptr_t)info->ExceptionRecord->ExceptionAddress : 0;
    if (gRecoveryThread && SetEvent(gFaultEvent)) {
        waitForRecovery();
    } else {
        gRecoveryThreadId = GetCurrentThreadId();
        recoverAfterFault();
    }
    TerminateProcess(GetCurrentProcess(), gFaultCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// 64-bit Windows may swallow a fault inside a window procedure that the system called
// back from kernel mode; let such faults reach the filter like any other.
void letCallbackFaultsThrough() {
    typedef BOOL(WINAPI * GetPolicy)(LPDWORD);
    typedef BOOL(WINAPI * SetPolicy)(DWORD);
    const DWORD kCallbackFilterEnabled = 1;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return;
    GetPolicy get = (GetPolicy)(void *)GetProcAddress(kernel, "GetProcessUserModeExceptionPolicy");
    SetPolicy set = (SetPolicy)(void *)GetProcAddress(kernel, "SetProcessUserModeExceptionPolicy");
    DWORD flags = 0;
    if (get && set && get(&flags)) set(flags & ~kCallbackFilterEnabled);
}

void loadText(HINSTANCE instance, UINT id, wchar_t *out) {
    if (LoadStringW(instance, id, out, (int)kTextSize) <= 0) out[0] = L'\0';
}

}  // namespace

void describeFault(uint32_t code, uintptr_t address, uintptr_t pluginBase, size_t pluginSize,
                   const wchar_t *atPlugin, const wchar_t *atAddress, wchar_t *out, size_t outSize) {
    size_t at = 0;
    if (outSize) out[0] = L'\0';
    appendNumber(out, outSize, &at, code, 8, 16);
    if (pluginBase && address >= pluginBase && address - pluginBase < pluginSize) {
        appendText(out, outSize, &at, atPlugin);
        appendNumber(out, outSize, &at, address - pluginBase, 1, 16);
    } else {
        appendText(out, outSize, &at, atAddress);
        appendNumber(out, outSize, &at, address, sizeof(void *) * 2, 16);
    }
}

bool framesToRecover(uint64_t recordedFrames, bool saved, uint64_t *frames) {
    if (saved || recordedFrames == 0) return false;
    *frames = recordedFrames;
    return true;
}

bool recoveryStalled(RecoveryWatch &watch, LONG progress, bool messageShown, DWORD elapsedMs, DWORD limitMs) {
    if (messageShown || progress != watch.progress) {
        watch.progress = progress;
        watch.quietMs = 0;
        return false;
    }
    watch.quietMs += elapsedMs;
    return watch.quietMs >= limitMs;
}


void installCrashRecovery(HINSTANCE instance) {
    loadText(instance, IDS_FAULT_PLUGIN, gTextPluginFault);
    loadText(instance, IDS_FAULT_HOST, gTextHostFault);
    loadText(instance, IDS_FAULT_SAVED, gTextSaved);
    loadText(instance, IDS_FAULT_NOT_SAVED, gTextNotSaved);
    loadText(instance, IDS_FAULT_AT_PLUGIN, gTextAtPlugin);
    loadText(instance, IDS_FAULT_AT_ADDRESS, gTextAtAddress);

    findRecoveryFolders(gFolders);

    gFaultEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (gFaultEvent) gRecoveryThread = CreateThread(nullptr, 0, recoveryThread, nullptr, 0, &gRecoveryThreadId);
    letCallbackFaultsThrough();
    SetUnhandledExceptionFilter(unhandledFault);
}
