#include "engine/transport.h"

#include "audio/engine_state.h"
#include "audio/stream.h"
#include "core/app_state.h"
#include "core/raw_file.h"
#include "core/texts.h"
#include "engine/capture_files.h"
#include "engine/transport_state.h"
#include "resources/resource_ids.h"

namespace {

// Set when a writer starts; cleared once its notice (if any) was given.
LONG gNoticePending = 0;

// The writer sets the recording flag itself once it runs, and clears it just before
// it ends: until the thread has ended the capture files are still its own.
bool writerAlive() { return gWriterThread && WaitForSingleObject(gWriterThread, 0) != WAIT_OBJECT_0; }

}  // namespace

void recordCommand(HWND owner) {
    if (gAudioStopped || gRecorder.recording || gRecorder.playing || writerAlive()) return;
    CaptureFilesFailure failure;
    if (!createCaptureFiles(&failure)) {
        showRecorderMessage(owner, IDS_CAPTURE_FILES_FAILED, 0, failure.path, failure.error);
        return;
    }
    gRecorder.recordingSaved = 0;
    if (startCaptureWriter()) gNoticePending = 1;
    gStatusDirty = 1;
}

bool recordingAtRisk(long recordedFrames, bool saved) { return recordedFrames != 0 && !saved; }

void recordNeedsDriver() {
    gRecorder.recordNeedsDriver = 1;
    gStatusDirty = 1;
}

void recordAsked(HWND window) {
    if (gAudioStopped || gRecorder.recording || gRecorder.playing) return;
    if (!gDriverOpen) {
        recordNeedsDriver();
        return;
    }
    if (recordingAtRisk(gRecorder.recordedFrames, gRecorder.recordingSaved != 0)) {
        wchar_t question[512];
        loadText(IDS_RECORD_OVER, question, 512);
        if (MessageBoxW(window, question, L"Korvane", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
    }
    recordCommand(window);
}

void stopCommand() {
    if (gStopEvent) SetEvent(gStopEvent);
    gRecorder.playing = 0;
    gStatusDirty = 1;
}

void playCommand() {
    if (gAudioStopped || gRecorder.recording || writerAlive()) return;
    rewindFile(gCaptureLeft);
    rewindFile(gCaptureRight);
    gRecorder.transportPos = 0;
    gRecorder.playing = 1;
    gStatusDirty = 1;
}

unsigned recorderNotice(bool writeFailed, long lostFrames, int sampleRate, unsigned *lostMs) {
    *lostMs = 0;
    if (writeFailed) return IDS_RECORDING_DISK_FULL;
    if (lostFrames <= 0) return 0;
    int rate = sampleRate > 0 ? sampleRate : 44100;
    *lostMs = (unsigned)(((int64_t)lostFrames * 1000 + rate - 1) / rate);
    return IDS_RECORDING_LOST;
}

void serveRecorderNotice(HWND window) {
    if (!gNoticePending || !gWriterThread || WaitForSingleObject(gWriterThread, 0) != WAIT_OBJECT_0) return;
    gNoticePending = 0;  // first: the message box below runs this timer again
    unsigned lostMs = 0;
    unsigned id = recorderNotice(gCaptureWriteFailed != 0, gCaptureLostFrames, gEngine.sampleRate, &lostMs);
    if (id) showRecorderMessage(window, id, lostMs, nullptr);
}

void showRecorderMessage(HWND owner, unsigned id, unsigned number, const char *path, DWORD systemError) {
    wchar_t format[512], text[1024 + MAX_PATH];
    if (!loadText(id, format, 512)) return;
    if (path) {
        wchar_t widePath[MAX_PATH] = L"";
        MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH);
        widePath[MAX_PATH - 1] = L'\0';
        wsprintfW(text, format, widePath);
    } else {
        wsprintfW(text, format, number);
    }
    appendSystemReason(text, sizeof text / sizeof text[0], systemError);
    showErrorText(owner, text);
}
