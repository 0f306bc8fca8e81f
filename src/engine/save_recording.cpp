#include "engine/save_recording.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "audio/engine_state.h"
#include "core/texts.h"
#include "engine/capture_files.h"
#include "engine/file_dialog.h"
#include "engine/transport.h"
#include "engine/transport_state.h"
#include "resources/resource_ids.h"

int gBitDepthChoice = 0;

namespace {

const int kPassFrames = 4096;

bool readWhole(HANDLE file, void *data, DWORD bytes) {
    DWORD got = 0;
    return ReadFile(file, data, bytes, &got, nullptr) && got == bytes;
}

// The folder part of path ("." when it has none), for a temporary file beside it.
void folderOf(const char *path, char *folder, size_t size) {
    const char *slash = strrchr(path, '\\');
    const char *other = strrchr(path, '/');
    if (other > slash) slash = other;
    size_t length = slash ? (size_t)(slash - path) : 0;
    if (length == 0 || length >= size) {
        strcpy(folder, slash == path ? "\\" : ".");
        return;
    }
    memcpy(folder, path, length);
    folder[length] = '\0';
}

SaveResult writeWav(int fd, HANDLE left, HANDLE right, WavDepth depth, int sampleRate) {
    uint64_t frames = captureFileFrames(left);
    uint64_t rightFrames = captureFileFrames(right);
    if (rightFrames < frames) frames = rightFrames;
    WavFormat format = wavFormatFor(depth, 2, sampleRate);

    float *buffers = static_cast<float *>(std::malloc(2 * kPassFrames * sizeof(float)));
    uint8_t *out = static_cast<uint8_t *>(std::malloc((size_t)kPassFrames * format.blockAlign));
    SaveResult result = kSaveDone;
    LARGE_INTEGER zero = {};
    if (!buffers || !out) {
        result = kSaveNoMemory;
    } else if (!writeWavHeader(fd, format, frames)) {
        result = kSaveWriteFailed;
    } else if (!SetFilePointerEx(left, zero, nullptr, FILE_BEGIN) ||
               !SetFilePointerEx(right, zero, nullptr, FILE_BEGIN)) {
        result = kSaveReadFailed;
    }
    const float *channels[2] = {buffers, buffers + kPassFrames};
    for (uint64_t done = 0; result == kSaveDone && done < frames;) {
        int k = frames - done < (uint64_t)kPassFrames ? (int)(frames - done) : kPassFrames;
        DWORD bytes = (DWORD)k * sizeof(float);
        if (!readWhole(left, buffers, bytes) || !readWhole(right, buffers + kPassFrames, bytes)) {
            result = kSaveReadFailed;
            break;
        }
        encodeFrames(channels, 2, k, depth, out);
        unsigned length = (unsigned)k * (unsigned)format.blockAlign;
        if (_write(fd, out, length) != (int)length) result = kSaveWriteFailed;
        done += (uint64_t)k;
    }
    std::free(out);
    std::free(buffers);
    return result;
}

}  // namespace

SaveResult saveCaptureAsWav(HANDLE left, HANDLE right, const char *path, WavDepth depth, int sampleRate) {
    char folder[MAX_PATH], temporary[MAX_PATH];
    folderOf(path, folder, sizeof folder);
    if (!GetTempFileNameA(folder, "~kv", 0, temporary)) return kSaveCannotCreate;
    int fd = _open(temporary, _O_WRONLY | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        DeleteFileA(temporary);
        return kSaveCannotCreate;
    }
    SaveResult result = writeWav(fd, left, right, depth, sampleRate);
    if (_close(fd) != 0 && result == kSaveDone) result = kSaveWriteFailed;
    if (result == kSaveDone &&
        !MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
        result = kSaveCannotCreate;
    if (result != kSaveDone) DeleteFileA(temporary);
    return result;
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
    if (!runFileDialog(window, TRUE, name, filter, nullptr, "wav", FALSE, nullptr, IDD_SAVE,
                       bitDepthHook, 0))
        return;
    UpdateWindow(window);
    int depth = gBitDepthChoice >= kWavDepth16 && gBitDepthChoice <= kWavDepthFloat ? gBitDepthChoice : 0;
    if (saveCaptureAsWav(gCaptureLeft, gCaptureRight, name, (WavDepth)depth, gEngine.sampleRate) == kSaveDone)
        gRecordingSaved = 1;
    else
        showRecorderMessage(window, IDS_SAVE_FAILED, 0, name);
}
