#include "shell/recovered_recording.h"

#include <cwchar>
#include <initializer_list>

#include "core/texts.h"
#include "core/user_folders.h"
#include "engine/capture_files.h"
#include "engine/save_recording.h"
#include "resources/resource_ids.h"

namespace {

const int kMaxNameAttempts = 99;

// A new file in folder (made if missing) under the first free name, its path in
// path; INVALID_HANDLE_VALUE when none can be made there (path then holds the
// last name tried, or stays as it was when no name fits).
HANDLE createRecoveryFile(const wchar_t *folder, const wchar_t *recordingName, const SYSTEMTIME &time, wchar_t *path,
                          size_t pathSize, RecoveryBuffers &buffers) {
    if (!folder || !folder[0]) return INVALID_HANDLE_VALUE;
    CreateDirectoryW(folder, nullptr);
    wchar_t *candidate = buffers.candidate;
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        wchar_t name[64];
        size_t at = 0;
        if (!recoveryFileName(recordingName, time, attempt, name, 64) || !appendText(candidate, kRecoveryPathSize, &at, folder) ||
            !appendText(candidate, kRecoveryPathSize, &at, L"\\") ||
            !appendText(candidate, kRecoveryPathSize, &at, name))
            return INVALID_HANDLE_VALUE;
        if (at >= pathSize) return INVALID_HANDLE_VALUE;
        at = 0;
        appendText(path, pathSize, &at, candidate);
        HANDLE out = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out != INVALID_HANDLE_VALUE) return out;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

bool appendText(wchar_t *out, size_t size, size_t *at, const wchar_t *text) {
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

bool appendNumber(wchar_t *out, size_t size, size_t *at, uint64_t value, int digits, int radix) {
    wchar_t reversed[24], text[24];
    int n = 0;
    do {
        int d = (int)(value % (uint64_t)radix);
        reversed[n++] = (wchar_t)(d < 10 ? L'0' + d : L'A' + d - 10);
        value /= (uint64_t)radix;
    } while ((value || n < digits) && n < 22);
    for (int i = 0; i < n; ++i) text[i] = reversed[n - 1 - i];
    text[n] = L'\0';
    return appendText(out, size, at, text);
}

void findRecoveryFolders(RecoveryFolders &folders) {
    // The user's word for a recording starts the file's name.
    if (!loadText(IDS_RECOVERED_NAME, folders.name, 64)) wcscpy(folders.name, L"Recording");
    wchar_t temporary[MAX_PATH] = L"";
    DWORD n = GetTempPathW(MAX_PATH, temporary);
    if (n == 0 || n >= MAX_PATH) temporary[0] = L'\0';
    else if (temporary[n - 1] == L'\\') temporary[n - 1] = L'\0';
    size_t at = 0;
    folders.fallback[0] = L'\0';
    appendText(folders.fallback, kRecoveryPathSize, &at, temporary);
    if (korvaneDocumentsFolder(folders.documents, kRecoveryPathSize)) return;
    at = 0;
    folders.documents[0] = L'\0';
    if (!appendText(folders.documents, kRecoveryPathSize, &at, temporary) ||
        !appendText(folders.documents, kRecoveryPathSize, &at, L"\\Korvane"))
        folders.documents[0] = L'\0';
}

bool recoveryFileName(const wchar_t *name, const SYSTEMTIME &t, int attempt, wchar_t *out, size_t outSize) {
    size_t at = 0;
    bool ok = appendText(out, outSize, &at, name) && appendText(out, outSize, &at, L" ") && appendNumber(out, outSize, &at, t.wYear, 4, 10) &&
              appendText(out, outSize, &at, L"-") && appendNumber(out, outSize, &at, t.wMonth, 2, 10) &&
              appendText(out, outSize, &at, L"-") && appendNumber(out, outSize, &at, t.wDay, 2, 10) &&
              appendText(out, outSize, &at, L" ") && appendNumber(out, outSize, &at, t.wHour, 2, 10) &&
              appendText(out, outSize, &at, L"-") && appendNumber(out, outSize, &at, t.wMinute, 2, 10) &&
              appendText(out, outSize, &at, L"-") && appendNumber(out, outSize, &at, t.wSecond, 2, 10);
    if (ok && attempt >= 2)
        ok = appendText(out, outSize, &at, L" (") && appendNumber(out, outSize, &at, (uint64_t)attempt, 1, 10) &&
             appendText(out, outSize, &at, L")");
    return ok && appendText(out, outSize, &at, L".wav");
}

void appendMessage(wchar_t *out, size_t outSize, const wchar_t *format, const wchar_t *insert) {
    size_t at = 0;
    while (at < outSize && out[at]) ++at;
    if (at >= outSize) return;
    wchar_t one[2] = {0, 0};
    for (const wchar_t *p = format; *p; ++p) {
        if (p[0] == L'%' && p[1] == L'1') {
            if (!appendText(out, outSize, &at, insert)) return;
            ++p;
            continue;
        }
        one[0] = *p;
        if (!appendText(out, outSize, &at, one)) return;
    }
}

bool writeRecoveryFile(HANDLE out, const wchar_t *path, HANDLE left, HANDLE right, uint64_t frames, int sampleRate,
                       RecoveryBuffers &buffers) {
    const WavCopyBuffers copy = {buffers.left, buffers.right, buffers.frames, kRecoveryChunkFrames};
    // Whatever a damaged capture file cannot give is kept as silence: the rest still counts.
    bool written = copyCaptureToWav(out, left, right, frames, kWavDepthFloat, sampleRate, copy, true,
                                    &buffers.progress, nullptr) == kSaveDone;
    written = CloseHandle(out) && written;
    // Its header promises every frame: a file cut short would pass for the whole recording.
    if (!written) DeleteFileW(path);
    return written;
}

bool saveRecoveredRecording(HANDLE left, HANDLE right, uint64_t frames, int sampleRate, const wchar_t *folder,
                            const wchar_t *fallbackFolder, const wchar_t *name, const SYSTEMTIME &time, wchar_t *path,
                            size_t pathSize, RecoveryBuffers &buffers) {
    // The shorter capture file sets the length; a missing one (a leftover take that
    // lost a file) is silence.
    uint64_t leftFrames = captureFileFrames(left), rightFrames = captureFileFrames(right);
    if (left != INVALID_HANDLE_VALUE && leftFrames < frames) frames = leftFrames;
    if (right != INVALID_HANDLE_VALUE && rightFrames < frames) frames = rightFrames;
    if (left == INVALID_HANDLE_VALUE && right == INVALID_HANDLE_VALUE) frames = 0;
    if (frames == 0 || pathSize == 0) return false;
    path[0] = L'\0';
    for (const wchar_t *f : {folder, fallbackFolder}) {
        HANDLE out = createRecoveryFile(f, name, time, path, pathSize, buffers);
        InterlockedIncrement(&buffers.progress);
        if (out != INVALID_HANDLE_VALUE && writeRecoveryFile(out, path, left, right, frames, sampleRate, buffers))
            return true;
    }
    return false;
}
