#include "shell/close_question.h"

#include "core/gate.h"
#include "core/texts.h"
#include "engine/capture_files.h"
#include "engine/capture_take.h"
#include "engine/save_recording.h"
#include "engine/transport_state.h"
#include "resources/resource_ids.h"

namespace {

HHOOK gButtonHook = nullptr;

void setButtonText(HWND box, int button, UINT id) {
    wchar_t label[64];
    if (loadText(id, label, 64)) SetDlgItemTextW(box, button, label);
}

// Names the message box's Yes, No and Cancel buttons Save, Don't save and Cancel
// as it is shown.
LRESULT CALLBACK nameButtons(int code, WPARAM wParam, LPARAM lParam) {
    HHOOK hook = gButtonHook;
    if (code == HCBT_ACTIVATE) {
        HWND box = (HWND)wParam;
        setButtonText(box, IDYES, IDS_CLOSE_SAVE);
        setButtonText(box, IDNO, IDS_CLOSE_DONT_SAVE);
        setButtonText(box, IDCANCEL, IDS_CLOSE_CANCEL);
        UnhookWindowsHookEx(gButtonHook);
        gButtonHook = nullptr;
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

// IDYES (save), IDNO (don't save) or IDCANCEL.
int askToSave(HWND window) {
    wchar_t question[512];
    loadText(IDS_CLOSE_UNSAVED, question, 512);
    gButtonHook = SetWindowsHookExW(WH_CBT, nameButtons, nullptr, GetCurrentThreadId());
    int answer = MessageBoxW(window, question, L"Korvane", MB_YESNOCANCEL | MB_ICONWARNING);
    if (gButtonHook) UnhookWindowsHookEx(gButtonHook);
    gButtonHook = nullptr;
    return answer;
}

// Recording and playback end: the take is what the capture files hold now, and no
// block reads them any more.
void endTransport() {
    gRecorder.playing = 0;
    stopCaptureWriter();
    closeEngineGate();
    openEngineGate();
}

}  // namespace

bool recordingWouldBeLost(bool recording, uint64_t recordedFrames, bool saved) {
    return recording || (recordedFrames > 0 && !saved);
}

bool confirmClose(HWND window) {
    if (!recordingWouldBeLost(gRecorder.recording != 0, recordedFramesForRecovery(), gRecorder.recordingSaved != 0)) return true;
    int answer = askToSave(window);
    if (answer != IDYES && answer != IDNO) return false;
    endTransport();
    if (answer == IDNO) {
        endCapturedTake();  // its files go with the program
        return true;
    }
    saveRecordingCommand(window);
    return gRecorder.recordingSaved != 0;  // a cancelled or failed save keeps the program running
}
