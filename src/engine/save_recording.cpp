#include "engine/save_recording.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "audio/engine_state.h"
#include "core/raw_file.h"
#include "core/texts.h"
#include "engine/capture_files.h"
#include "engine/capture_take.h"
#include "engine/file_dialog.h"
#include "engine/transport.h"
#include "engine/transport_state.h"
#include "resources/resource_ids.h"

int gBitDepthChoice = 0;

namespace {

const int kPassFrames = 4096;

}  // namespace

SaveResult copyCaptureToWav(HANDLE out, HANDLE left, HANDLE right, uint64_t frames, WavDepth depth, int sampleRate,
                            const WavCopyBuffers &buffers, bool silenceShortReads, volatile LONG *progress,
                            DWORD *systemError) {
    if (systemError) *systemError = 0;
    const WavFormat format = wavFormatFor(depth, 2, sampleRate);
    uint8_t header[kMaxWavHeaderSize];
    size_t headerSize = buildWavHeader(header, format, frames);
    if (!writeAll(out, header, (DWORD)headerSize)) {
        if (systemError) *systemError = GetLastError();
        return kSaveWriteFailed;
    }
    bool rewound = rewindFile(left);
    rewound = rewindFile(right) && rewound;
    if (!rewound && !silenceShortReads) return kSaveReadFailed;
    const float *channels[2] = {buffers.left, buffers.right};
    for (uint64_t done = 0; done < frames;) {
        DWORD n = frames - done < buffers.frames ? (DWORD)(frames - done) : buffers.frames;
        bool whole = readOrSilence(left, buffers.left, n) == n;
        whole = readOrSilence(right, buffers.right, n) == n && whole;
        if (!whole && !silenceShortReads) return kSaveReadFailed;
        encodeFrames(channels, 2, (int)n, depth, buffers.out);
        if (!writeAll(out, buffers.out, n * (DWORD)format.blockAlign)) {
            if (systemError) *systemError = GetLastError();
            return kSaveWriteFailed;
        }
        if (progress) InterlockedIncrement(progress);
        done += n;
    }
    return kSaveDone;
}

SaveResult saveCaptureAsWav(HANDLE left, HANDLE right, const char *path, WavDepth depth, int sampleRate,
                            DWORD *systemError) {
    DWORD ignored = 0;
    if (!systemError) systemError = &ignored;
    *systemError = 0;
    char folder[MAX_PATH], temporary[MAX_PATH];
    folderOfPath(path, folder, sizeof folder);
    if (!GetTempFileNameA(folder, "~kv", 0, temporary)) {
        *systemError = GetLastError();
        return kSaveCannotCreate;
    }
    HANDLE out = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        *systemError = GetLastError();
        DeleteFileA(temporary);
        return kSaveCannotCreate;
    }
    uint64_t frames = captureFileFrames(left);
    uint64_t rightFrames = captureFileFrames(right);
    if (rightFrames < frames) frames = rightFrames;
    float *floats = static_cast<float *>(std::malloc(2 * kPassFrames * sizeof(float)));
    uint8_t *bytes = static_cast<uint8_t *>(std::malloc((size_t)kPassFrames * 8));
    SaveResult result = kSaveNoMemory;
    if (floats && bytes) {
        const WavCopyBuffers buffers = {floats, floats + kPassFrames, bytes, (uint32_t)kPassFrames};
        result = copyCaptureToWav(out, left, right, frames, depth, sampleRate, buffers, false, nullptr, systemError);
    }
    std::free(bytes);
    std::free(floats);
    if (!CloseHandle(out) && result == kSaveDone) {
        *systemError = GetLastError();
        result = kSaveWriteFailed;
    }
    if (result == kSaveDone &&
        !MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
        *systemError = GetLastError();
        result = kSaveCannotCreate;
    }
    if (result != kSaveDone) DeleteFileA(temporary);
    return result;
}

unsigned saveFailureText(SaveResult result) {
    switch (result) {
    case kSaveDone:
        return 0;
    case kSaveCannotCreate:
        return IDS_SAVE_CANNOT_CREATE;
    case kSaveNoMemory:
        return IDS_SAVE_NO_MEMORY;
    case kSaveReadFailed:
        return IDS_SAVE_READ_FAILED;
    case kSaveWriteFailed:
        return IDS_SAVE_WRITE_FAILED;
    }
    return IDS_SAVE_FAILED;
}

UINT_PTR CALLBACK bitDepthHook(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        HWND combo = GetDlgItem(dialog, IDC_BIT_DEPTH);
        for (UINT id : {IDS_DEPTH_16, IDS_DEPTH_24, IDS_DEPTH_FLOAT}) addListText(combo, CB_INSERTSTRING, id);
        SendMessageA(combo, CB_SETCURSEL, (WPARAM)gBitDepthChoice, 0);
        return 1;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_BIT_DEPTH && HIWORD(wParam) == CBN_SELCHANGE) {
            LRESULT selected = SendDlgItemMessageA(dialog, IDC_BIT_DEPTH, CB_GETCURSEL, 0, 0);
            if (selected >= kWavDepth16 && selected <= kWavDepthFloat) gBitDepthChoice = (int)selected;
        }
        return 0;
    default:
        return 0;
    }
}

void saveRecordingCommand(HWND window) {
    char name[MAX_PATH] = "";
    char filter[256];
    loadFilter(IDS_FILTER_WAV, filter, sizeof filter);
    if (!runFileDialog(window, kRecordingFiles, TRUE, name, filter, nullptr, "wav", FALSE, nullptr, IDD_SAVE,
                       bitDepthHook, 0))
        return;
    UpdateWindow(window);
    int depth = gBitDepthChoice >= kWavDepth16 && gBitDepthChoice <= kWavDepthFloat ? gBitDepthChoice : 0;
    DWORD systemError = 0;
    SaveResult result = saveCaptureAsWav(gCaptureLeft, gCaptureRight, name, (WavDepth)depth, gEngine.sampleRate,
                                         &systemError);
    if (result == kSaveDone) {
        gRecorder.recordingSaved = 1;
        endCapturedTake();  // saved: its files need not outlast the program
    } else
        showRecorderMessage(window, saveFailureText(result), 0, name, systemError);
}
