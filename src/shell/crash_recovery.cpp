#include "shell/crash_recovery.h"

#include <climits>
#include <initializer_list>

#include "audio/engine_state.h"
#include "core/app_state.h"
#include "core/gate.h"
#include "core/user_folders.h"
#include "engine/capture_files.h"
#include "engine/capture_take.h"
#include "engine/save_recording.h"
#include "engine/transport_state.h"
#include "engine/wav_writer.h"
#include "plugin/plugin_instance.h"
#include "resources/resource_ids.h"

namespace {

const size_t kTextSize = 512;
const size_t kPathSize = MAX_PATH + 64;
const int kMaxNameAttempts = 99;
const DWORD kGateWaitMs = 1000;
const DWORD kChunkFrames = 4096;
const DWORD kWatchStepMs = 500;

// Made at start-up.
wchar_t gRecoveryFolder[kPathSize];
wchar_t gTemporaryFolder[kPathSize];  // when the recovery folder takes no file
wchar_t gTextPluginFault[kTextSize];
wchar_t gTextHostFault[kTextSize];
wchar_t gTextSaved[kTextSize];
wchar_t gTextNotSaved[kTextSize];
wchar_t gTextAtPlugin[kTextSize];
wchar_t gTextAtAddress[kTextSize];
HANDLE gFaultEvent = nullptr;
HANDLE gRecoveryThread = nullptr;
DWORD gRecoveryThreadId = 0;

// Watched by the faulting thread while the recovery thread works.
volatile LONG gRecoveryProgress = 0;
volatile LONG gRecoveryMessageShown = 0;

// Filled by the first fault.
volatile LONG gFaulted = 0;
uint32_t gFaultCode = 0;
uintptr_t gFaultAddress = 0;

// The fault path's own memory.
float gLeftChunk[kChunkFrames];
float gRightChunk[kChunkFrames];
uint8_t gFrameChunk[kChunkFrames * 8];
wchar_t gPath[kPathSize];
wchar_t gCandidate[kPathSize];
wchar_t gMessage[kTextSize * 3];
wchar_t gFaultText[128];

// Appends text to out[0 .. size) at *at, keeping the terminator; false when cut short.
bool put(wchar_t *out, size_t size, size_t *at, const wchar_t *text) {
    for (; *text; ++text) {
        if (*at + 1 >= size) {
            if (size) out[size - 1] = L'\0';
            return false;
        }
        out[(*at)++] = *text;
    }
    if (size) out[*at < size ? *at : size - 1] = L'\0';
    return true;
}

// value in the radix (10 or 16, upper-case), zero-padded to at least `digits` digits.
void number(wchar_t *out, uint64_t value, int digits, int radix) {
    wchar_t reversed[24];
    int n = 0;
    do {
        int d = (int)(value % (uint64_t)radix);
        reversed[n++] = (wchar_t)(d < 10 ? L'0' + d : L'A' + d - 10);
        value /= (uint64_t)radix;
    } while ((value || n < digits) && n < 22);
    for (int i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
    out[n] = L'\0';
}

bool putNumber(wchar_t *out, size_t size, size_t *at, uint64_t value, int digits, int radix) {
    wchar_t text[24];
    number(text, value, digits, radix);
    return put(out, size, at, text);
}

// Size of a mapped module from its own headers; 0 when they do not look like a PE image.
size_t moduleSize(HMODULE module) {
    if (!module) return 0;
    const IMAGE_DOS_HEADER *dos = (const IMAGE_DOS_HEADER *)module;
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 || dos->e_lfanew > 4096) return 0;
    const IMAGE_NT_HEADERS *nt = (const IMAGE_NT_HEADERS *)((const uint8_t *)module + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return 0;
    return nt->OptionalHeader.SizeOfImage;
}

// A new file in folder (made if missing) under the first free name, its path in
// path; INVALID_HANDLE_VALUE when none can be made there (path then holds the
// last name tried, or stays as it was when no name fits).
HANDLE createRecoveryFile(const wchar_t *folder, const SYSTEMTIME &time, wchar_t *path, size_t pathSize) {
    if (!folder || !folder[0]) return INVALID_HANDLE_VALUE;
    CreateDirectoryW(folder, nullptr);
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        wchar_t name[64];
        size_t at = 0;
        if (!recoveryFileName(time, attempt, name, 64) || !put(gCandidate, kPathSize, &at, folder) ||
            !put(gCandidate, kPathSize, &at, L"\\") || !put(gCandidate, kPathSize, &at, name))
            return INVALID_HANDLE_VALUE;
        if (at >= pathSize) return INVALID_HANDLE_VALUE;
        at = 0;
        put(path, pathSize, &at, gCandidate);
        HANDLE out = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out != INVALID_HANDLE_VALUE) return out;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return INVALID_HANDLE_VALUE;
}

// The recording still held in the capture files and not yet saved; false when there
// is none.
bool recordingToRecover(HANDLE *left, HANDLE *right, uint64_t *frames) {
    if (!framesToRecover(recordedFramesForRecovery(), gRecordingSaved != 0, frames)) return false;
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
    gPlaying = 0;
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
        bool saved = saveRecoveredRecording(left, right, frames, gEngine.sampleRate, gRecoveryFolder,
                                            gTemporaryFolder, now, gPath, sizeof gPath / sizeof gPath[0]);
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
    RecoveryWatch watch = {gRecoveryProgress, 0};
    for (;;) {
        DWORD before = GetTickCount();
        if (WaitForSingleObject(gRecoveryThread, kWatchStepMs) != WAIT_TIMEOUT) return;
        if (recoveryStalled(watch, gRecoveryProgress, gRecoveryMessageShown != 0, GetTickCount() - before,
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

bool recoveryFileName(const SYSTEMTIME &t, int attempt, wchar_t *out, size_t outSize) {
    size_t at = 0;
    bool ok = put(out, outSize, &at, L"Recording ") && putNumber(out, outSize, &at, t.wYear, 4, 10) &&
              put(out, outSize, &at, L"-") && putNumber(out, outSize, &at, t.wMonth, 2, 10) &&
              put(out, outSize, &at, L"-") && putNumber(out, outSize, &at, t.wDay, 2, 10) &&
              put(out, outSize, &at, L" ") && putNumber(out, outSize, &at, t.wHour, 2, 10) &&
              put(out, outSize, &at, L"-") && putNumber(out, outSize, &at, t.wMinute, 2, 10) &&
              put(out, outSize, &at, L"-") && putNumber(out, outSize, &at, t.wSecond, 2, 10);
    if (ok && attempt >= 2)
        ok = put(out, outSize, &at, L" (") && putNumber(out, outSize, &at, (uint64_t)attempt, 1, 10) &&
             put(out, outSize, &at, L")");
    return ok && put(out, outSize, &at, L".wav");
}

void describeFault(uint32_t code, uintptr_t address, uintptr_t pluginBase, size_t pluginSize,
                   const wchar_t *atPlugin, const wchar_t *atAddress, wchar_t *out, size_t outSize) {
    size_t at = 0;
    if (outSize) out[0] = L'\0';
    putNumber(out, outSize, &at, code, 8, 16);
    if (pluginBase && address >= pluginBase && address - pluginBase < pluginSize) {
        put(out, outSize, &at, atPlugin);
        putNumber(out, outSize, &at, address - pluginBase, 1, 16);
    } else {
        put(out, outSize, &at, atAddress);
        putNumber(out, outSize, &at, address, sizeof(void *) * 2, 16);
    }
}

void appendMessage(wchar_t *out, size_t outSize, const wchar_t *format, const wchar_t *insert) {
    size_t at = 0;
    while (at < outSize && out[at]) ++at;
    if (at >= outSize) return;
    wchar_t one[2] = {0, 0};
    for (const wchar_t *p = format; *p; ++p) {
        if (p[0] == L'%' && p[1] == L'1') {
            if (!put(out, outSize, &at, insert)) return;
            ++p;
            continue;
        }
        one[0] = *p;
        if (!put(out, outSize, &at, one)) return;
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

bool writeRecoveryFile(HANDLE out, const wchar_t *path, HANDLE left, HANDLE right, uint64_t frames,
                       int sampleRate) {
    const WavCopyBuffers buffers = {gLeftChunk, gRightChunk, gFrameChunk, kChunkFrames};
    // Whatever a damaged capture file cannot give is kept as silence: the rest still counts.
    bool written = copyCaptureToWav(out, left, right, frames, kWavDepthFloat, sampleRate, buffers, true,
                                    &gRecoveryProgress, nullptr) == kSaveDone;
    written = CloseHandle(out) && written;
    // Its header promises every frame: a file cut short would pass for the whole recording.
    if (!written) DeleteFileW(path);
    return written;
}

bool saveRecoveredRecording(HANDLE left, HANDLE right, uint64_t frames, int sampleRate, const wchar_t *folder,
                            const wchar_t *fallbackFolder, const SYSTEMTIME &time, wchar_t *path,
                            size_t pathSize) {
    // The shorter capture file sets the length; a missing one (a leftover take that
    // lost a file) is silence.
    uint64_t leftFrames = captureFileFrames(left), rightFrames = captureFileFrames(right);
    if (left != INVALID_HANDLE_VALUE && leftFrames < frames) frames = leftFrames;
    if (right != INVALID_HANDLE_VALUE && rightFrames < frames) frames = rightFrames;
    if (left == INVALID_HANDLE_VALUE && right == INVALID_HANDLE_VALUE) frames = 0;
    if (frames == 0 || pathSize == 0) return false;
    path[0] = L'\0';
    for (const wchar_t *f : {folder, fallbackFolder}) {
        HANDLE out = createRecoveryFile(f, time, path, pathSize);
        InterlockedIncrement(&gRecoveryProgress);
        if (out != INVALID_HANDLE_VALUE && writeRecoveryFile(out, path, left, right, frames, sampleRate)) return true;
    }
    return false;
}

void recoveryFolders(const wchar_t **documents, const wchar_t **fallback) {
    *documents = gRecoveryFolder;
    *fallback = gTemporaryFolder;
}

void installCrashRecovery(HINSTANCE instance) {
    loadText(instance, IDS_FAULT_PLUGIN, gTextPluginFault);
    loadText(instance, IDS_FAULT_HOST, gTextHostFault);
    loadText(instance, IDS_FAULT_SAVED, gTextSaved);
    loadText(instance, IDS_FAULT_NOT_SAVED, gTextNotSaved);
    loadText(instance, IDS_FAULT_AT_PLUGIN, gTextAtPlugin);
    loadText(instance, IDS_FAULT_AT_ADDRESS, gTextAtAddress);

    // Documents\Korvane; <temporary folder>\Korvane when there are no documents.
    if (!korvaneDocumentsFolder(gRecoveryFolder, kPathSize)) {
        wchar_t base[MAX_PATH] = L"";
        DWORD n = GetTempPathW(MAX_PATH, base);
        if (n == 0 || n >= MAX_PATH) base[0] = L'\0';
        else if (base[n - 1] == L'\\') base[n - 1] = L'\0';
        size_t at = 0;
        if (!put(gRecoveryFolder, kPathSize, &at, base) || !put(gRecoveryFolder, kPathSize, &at, L"\\Korvane"))
            gRecoveryFolder[0] = L'\0';
    }
    DWORD n = GetTempPathW(kPathSize, gTemporaryFolder);
    if (n == 0 || n >= kPathSize) gTemporaryFolder[0] = L'\0';
    else if (gTemporaryFolder[n - 1] == L'\\') gTemporaryFolder[n - 1] = L'\0';

    gFaultEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (gFaultEvent) gRecoveryThread = CreateThread(nullptr, 0, recoveryThread, nullptr, 0, &gRecoveryThreadId);
    letCallbackFaultsThrough();
    SetUnhandledExceptionFilter(unhandledFault);
}
