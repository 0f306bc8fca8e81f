#include "shell/main_window.h"

#include <initializer_list>

#include "audio/settings_dialog.h"
#include "audio/stream.h"
#include "audio/timer_duties.h"
#include "core/app_state.h"
#include "core/gate.h"
#include "core/texts.h"
#include "engine/block_processing.h"
#include "engine/capture_files.h"
#include "engine/save_recording.h"
#include "engine/status_line.h"
#include "engine/transport.h"
#include "engine/transport_state.h"
#include "export/dialog/export_dialog.h"
#include "midi/midi_ports.h"
#include "midi/midi_queue.h"
#include "plugin/plugin_instance.h"
#include "resources/resource_ids.h"
#include "shell/close_question.h"
#include "shell/menu_states.h"
#include "shell/sound_keeping.h"
#include "shell/startup.h"

int pluginCommandIndex(int command) {
    switch (command) {
    case CMD_LOAD: return 1;
    case CMD_SAVE_AS: return 2;
    case CMD_CLOSE: return 3;
    case CMD_HELP: return 4;
    case CMD_INFO: return 5;
    case CMD_AUTOMATION: return 6;
    case CMD_PLUGIN_DIRECTORY: return 7;
    default: return 0;
    }
}

namespace {

void setTopmost(HWND window, bool topmost) {
    SetWindowPos(window, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void soundOff() {
    gRecorder.playing = 0;
    // The writer ends before the gate closes, so the blocks tapped so far still
    // reach the capture files.
    stopCaptureWriter();
    closeEngineGate();
    gPlugin.suspend();
    gAudioStopped = 1;
    closeStream();
    closeMidiPorts();
    // The engine gate stays closed while sound is off.
}

void soundOn(HWND window) {
    gPlugin.resume();
    gMidiQueue.count = 0;
    allNotesOff();
    gAudioStopped = 0;
    reopenEngine(window);
    openMidiPorts();
    openEngineGate();  // balances the close of soundOff
}

void settingsCommand(HWND window) {
    if (gAudioStopped) {
        reopenEngine(window);
        openMidiPorts();
    }
    runSettingsDialog(window);
    if (gAudioStopped) {
        closeStream();
        closeMidiPorts();
    }
}

TransportView currentView() {
    return {gAudioStopped == 0, gRecorder.recording != 0, gRecorder.playing != 0, (long)gRecorder.recordedFrames, gExportRunning != 0,
            gDriverOpen != 0};
}

// A command refused while an export runs says why on the status line (until the
// line's next change).
void sayRefusedDuringExport() {
    wchar_t text[128];
    if (gStatusLine && loadText(IDS_EXPORT_REFUSED, text, 128)) SetWindowTextW(gStatusLine, text);
}

void onCommand(HWND window, int command) {
    if (gExportRunning && !commandEnabled(command, currentView())) {
        sayRefusedDuringExport();
        return;
    }
    if (int index = pluginCommandIndex(command)) {
        gPlugin.dispatch(effVendorSpecific, index, 0, nullptr, 0.0f);
        return;
    }
    switch (command) {
    case CMD_EXIT:
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    case CMD_SETTINGS:
        settingsCommand(window);
        break;
    case CMD_SOUND_ONOFF:
        if (gAudioStopped)
            soundOn(window);
        else
            soundOff();
        gStatusDirty = 1;
        break;
    case CMD_ALL_NOTES_OFF:
        allNotesOff();
        break;
    case CMD_RECORD:
        recordAsked(window);
        break;
    case CMD_STOP:
        stopCommand();
        break;
    case CMD_PLAY:
        playCommand();
        break;
    case CMD_SAVE_RECORDING:
        saveRecordingCommand(window);
        break;
    case CMD_EXPORT:
        runExportDialog(window);
        break;
    case CMD_LOAD_SOUND:
        loadSoundCommand(window);
        break;
    case CMD_SAVE_SOUND:
        saveSoundCommand(window);
        break;
    case CMD_DEFAULT_SOUND:
        defaultSoundCommand(window);
        break;
    case CMD_ALWAYS_ON_TOP:
        gOnTop = !gOnTop;
        setTopmost(window, gOnTop != 0);
        break;
    default:
        break;
    }
}

void setItemEnabled(HMENU menu, int command, bool enabled) {
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE;
    info.fState = enabled ? 0 : MFS_GRAYED;
    SetMenuItemInfoA(menu, command, FALSE, &info);
}

void setSoundItem(HMENU menu, bool soundOn) {
    wchar_t label[64];
    if (!LoadStringW(gInstance, soundOn ? IDS_SOUND_STOP : IDS_SOUND_START, label, 64)) return;
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE | MIIM_TYPE;
    info.fType = MFT_STRING;
    info.fState = 0;
    info.dwTypeData = label;
    SetMenuItemInfoW(menu, CMD_SOUND_ONOFF, FALSE, &info);
}

void onInitMenuPopup(HWND window, HMENU popup, LPARAM lParam) {
    if (HIWORD(lParam) != 0) return;  // the window menu
    int position = LOWORD(lParam);
    if (GetSubMenu(GetMenu(window), position) != popup) return;
    TransportView view = currentView();
    switch (position) {
    case 0:
        for (int command : {CMD_RECORD, CMD_STOP, CMD_PLAY, CMD_SAVE_RECORDING, CMD_EXPORT, CMD_LOAD_SOUND,
                            CMD_SAVE_SOUND, CMD_DEFAULT_SOUND})
            setItemEnabled(popup, command, commandEnabled(command, view));
        break;
    case 1:
        setSoundItem(popup, view.soundOn);
        setItemEnabled(popup, CMD_SOUND_ONOFF, commandEnabled(CMD_SOUND_ONOFF, view));
        EnableMenuItem(popup, CMD_ALL_NOTES_OFF,
                       MF_BYCOMMAND | (commandEnabled(CMD_ALL_NOTES_OFF, view) ? MF_ENABLED : MF_GRAYED));
        setItemEnabled(popup, CMD_SETTINGS, commandEnabled(CMD_SETTINGS, view));
        break;
    case 3: {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_STATE;
        info.fState = gOnTop ? MFS_CHECKED : 0;
        SetMenuItemInfoA(popup, CMD_ALWAYS_ON_TOP, FALSE, &info);
        break;
    }
    default:
        break;
    }
}

void housekeeping(HWND window) {
    gPlugin.editorIdle();
    gPlugin.idle();
    serveDriverReset(window);
    applyPendingSampleRate();
    updateCpuDisplay(gCpuMeter, gCpuLoad);
    if (gStatusDirty) updateStatusLine();
    serveRecorderNotice(window);
}

}  // namespace

void explainRefusedKey(const MSG &msg) {
    // The accelerator's own test: F3 alone, first press (not a repeat).
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_F3 || (msg.lParam & (1L << 30))) return;
    if (GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_CONTROL) < 0) return;
    if (!gAudioStopped && !gRecorder.recording && !gRecorder.playing && !gDriverOpen) recordNeedsDriver();
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        onCommand(window, LOWORD(wParam));
        break;
    case WM_INITMENUPOPUP:
        onInitMenuPopup(window, (HMENU)wParam, lParam);
        break;
    case WM_TIMER:
        housekeeping(window);
        break;
    case WM_KEYDOWN:
        keyDown((int)((lParam >> 16) & 0xFF), (int)((lParam >> 30) & 1));
        break;
    case WM_KEYUP:
        keyUp((int)((lParam >> 16) & 0xFF));
        break;
    case WM_KILLFOCUS:
    case WM_ENTERMENULOOP:
        // Another program, one of our dialogs, the editor or the menu takes the keys:
        // their key-ups will not come here.
        releaseHeldKeys();
        break;
    case WM_NCLBUTTONDOWN:
        SetFocus(window);
        break;
    case WM_CLOSE:
        // While an export runs the program asks first; a cancelled export ends before
        // the window closes.
        if (gExportRunning) {
            if (closeRunningExport()) PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        }
        if (!confirmClose(window)) return 0;  // the user keeps the program running
        break;
    case WM_DESTROY:
        shutdownKorvane(window);
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
