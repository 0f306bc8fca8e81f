#include "audio/settings_dialog.h"

#include <commctrl.h>

#include <initializer_list>

#include <cstdio>
#include <cstdlib>

#include "audio/driver_connection.h"
#include "audio/driver_list.h"
#include "audio/engine_state.h"
#include "audio/routing_dialog.h"
#include "audio/stream.h"
#include "core/app_state.h"
#include "core/gate.h"
#include "core/texts.h"
#include "midi/midi_ports.h"
#include "midi/midi_system.h"
#include "plugin/plugin_instance.h"
#include "resources/resource_ids.h"

HWND gSettingsDialog = nullptr;

RateChoices sampleRateChoices(ASIOError (*canSampleRate)(ASIOSampleRate), int engineRate) {
    RateChoices choices = {};
    choices.selected = -1;
    for (int rate : kOfferedRates) {
        if (canSampleRate((ASIOSampleRate)rate) != ASE_OK) continue;
        if (rate == engineRate) choices.selected = choices.count;
        choices.rates[choices.count++] = rate;
    }
    if (choices.selected < 0) {
        choices.selected = choices.count;
        choices.rates[choices.count++] = engineRate;
    }
    return choices;
}

int tempoFromText(const char *text) {
    long tempo = strtol(text, nullptr, 10);
    if (tempo < 10) return 10;
    if (tempo > 500) return 500;
    return (int)tempo;
}

void refillSampleRateList(HWND list) {
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    RateChoices choices = sampleRateChoices(asioCanSampleRate, gEngine.sampleRate);
    for (int i = 0; i < choices.count; ++i) {
        char text[16];
        snprintf(text, sizeof text, "%d", choices.rates[i]);
        SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)text);
    }
    SendMessageA(list, CB_SETCURSEL, choices.selected, 0);
}

namespace {

void enableDriverControls(HWND dialog, bool enable) {
    for (int id : {IDC_SAMPLE_RATE, IDC_CONTROL_PANEL, IDC_CHANNELS}) EnableWindow(GetDlgItem(dialog, id), enable);
}

// Called by the engine's re-open while the dialog is open.
void refreshAfterReopen(bool opened) {
    if (!gSettingsDialog) return;
    if (opened) refillSampleRateList(GetDlgItem(gSettingsDialog, IDC_SAMPLE_RATE));
    enableDriverControls(gSettingsDialog, opened);
}

void addString(HWND list, const char *text) { SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)text); }

// The list entry that stands for no device, in the user's language.
void addNone(HWND list) {
    wchar_t none[64];
    loadText(IDS_NONE, none, 64);
    SendMessageW(list, CB_ADDSTRING, 0, (LPARAM)none);
}

// "None", then each MIDI device's name; the stored index + 1 is selected.
template <typename Caps>
void fillPortList(HWND list, UINT devices, MMRESULT(WINAPI *getCaps)(UINT_PTR, Caps *, UINT), int32_t index) {
    addNone(list);
    for (UINT i = 0; i < devices; ++i) {
        Caps caps = {};
        getCaps(i, &caps, sizeof caps);
        caps.szPname[sizeof caps.szPname - 1] = '\0';
        addString(list, caps.szPname);
    }
    SendMessageA(list, CB_SETCURSEL, index + 1, 0);
}

void fillLists(HWND dialog) {
    fillPortList(GetDlgItem(dialog, IDC_MIDI_IN), gMidiSystem.midiInGetNumDevs(), gMidiSystem.midiInGetDevCapsA,
                 gMidiInIndex);
    fillPortList(GetDlgItem(dialog, IDC_MIDI_THRU), gMidiSystem.midiOutGetNumDevs(),
                 gMidiSystem.midiOutGetDevCapsA, gMidiOutIndex);

    HWND drivers = GetDlgItem(dialog, IDC_DRIVER);
    addNone(drivers);
    for (LONG i = 0; i < gDriverList.count(); ++i) {
        char name[512] = "";
        gDriverList.getName(i, name, sizeof name);
        addString(drivers, name);
    }
    SendMessageA(drivers, CB_SETCURSEL, gEngine.driverIndex + 1, 0);

    refillSampleRateList(GetDlgItem(dialog, IDC_SAMPLE_RATE));
    if (gEngine.driverIndex == -1) enableDriverControls(dialog, false);

    char tempo[16];
    snprintf(tempo, sizeof tempo, "%d", (int)gTempo);
    SetDlgItemTextA(dialog, IDC_TEMPO, tempo);
    HWND spin = GetDlgItem(dialog, IDC_TEMPO_SPIN);
    SendMessageA(spin, UDM_SETRANGE32, 10, 500);
    SendMessageA(spin, UDM_SETPOS, 0, MAKELPARAM(gTempo, 0));
    SendMessageA(spin, UDM_SETBUDDY, (WPARAM)GetDlgItem(dialog, IDC_TEMPO), 0);
}

int selection(HWND dialog, int id) { return (int)SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0); }

void onSampleRateChosen(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SAMPLE_RATE);
    int index = (int)SendMessageA(list, CB_GETCURSEL, 0, 0);
    char text[1025] = "";
    if (index < 0 || SendMessageA(list, CB_GETLBTEXTLEN, index, 0) >= (LRESULT)sizeof text) return;
    SendMessageA(list, CB_GETLBTEXT, index, (LPARAM)text);
    int rate = atoi(text);
    closeEngineGate();
    if (asioSetSampleRate((ASIOSampleRate)rate) == ASE_OK) {
        gEngine.sampleRate = rate;
        gPlugin.setRateAndBlock((float)rate, gEngine.blockSize);
    } else {
        showError(dialog, IDS_RATE_FAILED);
        refillSampleRateList(list);  // shows the rate still in use, not the refused one
    }
    openEngineGate();
}

void endDialog(HWND dialog, INT_PTR result) {
    gSettingsDialogRefresh = nullptr;
    gSettingsDialog = nullptr;
    EndDialog(dialog, result);
}

void onCommand(HWND dialog, int id, int notification) {
    switch (id) {
    case IDC_DRIVER:
        if (notification != CBN_SELCHANGE) break;
        gEngine.driverIndex = selection(dialog, IDC_DRIVER) - 1;
        gMissingDriver[0] = '\0';  // another choice replaces a driver that is not installed
        reopenEngine(gPlugin.editorWindow);
        enableDriverControls(dialog, gEngine.driverIndex != -1);
        break;
    case IDC_SAMPLE_RATE:
        if (notification == CBN_SELCHANGE) onSampleRateChosen(dialog);
        break;
    case IDC_MIDI_IN:
        if (notification != CBN_SELCHANGE) break;
        gMidiInIndex = selection(dialog, IDC_MIDI_IN) - 1;
        openMidiPorts();
        break;
    case IDC_MIDI_THRU:
        if (notification != CBN_SELCHANGE) break;
        gMidiOutIndex = selection(dialog, IDC_MIDI_THRU) - 1;
        openMidiPorts();
        break;
    case IDC_CONTROL_PANEL:
        EnableWindow(dialog, FALSE);
        ++gDriverCallDepth;  // a panel may run its own message loop
        asioControlPanel();
        --gDriverCallDepth;
        EnableWindow(dialog, TRUE);
        break;
    case IDC_CHANNELS:
        runRoutingDialog(dialog);
        break;
    case IDC_TEMPO:
        if (notification == EN_CHANGE) {
            char text[21] = "";
            GetDlgItemTextA(dialog, IDC_TEMPO, text, sizeof text);
            gTempo = tempoFromText(text);
        }
        break;
    case IDCANCEL:
        endDialog(dialog, IDCANCEL);
        break;
    default:
        break;
    }
}

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        gSettingsDialog = dialog;
        gSettingsDialogRefresh = refreshAfterReopen;
        fillLists(dialog);
        return TRUE;
    case WM_COMMAND:
        onCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        endDialog(dialog, 16);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void runSettingsDialog(HWND owner) {
    DialogBoxParamA(gInstance, MAKEINTRESOURCEA(IDD_SETTINGS), owner, settingsDialogProc, 0);
}
