#include "export/dialog/export_dialog.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "core/app_state.h"
#include "core/raw_file.h"
#include "core/texts.h"
#include "core/user_folders.h"
#include "engine/file_dialog.h"
#include "export/dialog/export_progress.h"
#include "export/formats/sample_names.h"
#include "export/render/export_worker.h"
#include "resources/resource_ids.h"

ExportSettings gExportSettings = kDefaultExportSettings;
KeySelection gKeySelection;

namespace {

// What the key control edits and where it reads its preview notes' channel and velocity.
KeyControlData gKeyControlData = {&gKeySelection, &gExportSettings.midiChannel, &gExportSettings.velocity};

const char *const kFileTypes[] = {"WAV", "SF2", "SFZ", "Decent Sampler"};
const char *const kLayerCounts[] = {"1", "2", "3", "4", "5", "6", "7", "8"};
const char *const kVariationCounts[] = {"1", "2", "3", "4"};
static_assert(std::size(kVariationCounts) == kMaxVariations, "one entry per number of variations");
// The notes' texts in ExportNoteText's order.
const UINT kNoteTexts[] = {IDS_EXPORT_NOTE_UNLOOPED,        IDS_EXPORT_NOTE_UNLOOPED_ONE,   IDS_EXPORT_NOTE_UNPITCHED,
                           IDS_EXPORT_NOTE_UNPITCHED_ONE,   IDS_EXPORT_NOTE_CLIPPED,        IDS_EXPORT_NOTE_CLIPPED_ONE,
                           IDS_EXPORT_NOTE_NORMALISED,      IDS_EXPORT_NOTE_NO_VARIATION,   IDS_EXPORT_NOTE_REPEATS,
                           IDS_EXPORT_NOTE_REPEATS_ONE,     IDS_EXPORT_NOTE_FIRST_VARIATION, IDS_EXPORT_NOTE_SEPARATOR,
                           IDS_EXPORT_NOTE_INSTANCES,       IDS_EXPORT_NOTE_INSTANCES_DIFFER,
                           IDS_EXPORT_NOTE_INSTANCES_NOT_OPENED, IDS_EXPORT_NOTE_INSTANCES_STATE_REFUSED};
static_assert(std::size(kNoteTexts) == kExportNoteTexts, "one text per note");
const UINT kSampleFormats[] = {IDS_DEPTH_16, IDS_DEPTH_24, IDS_DEPTH_FLOAT};
const char *const kRateNames[] = {"11025 Hz", "22050 Hz", "32000 Hz", "44100 Hz",
                                  "48000 Hz", "64000 Hz", "88200 Hz", "96000 Hz"};
const UINT kChannelModes[] = {IDS_MONO, IDS_STEREO};
const char *const kInstanceCounts[] = {"automatic", "1"};  // the first shown in the user's language
const int kMidiChannels = 16;

template <size_t N>
void fillList(HWND dialog, int id, const char *const (&items)[N], int selected) {
    HWND list = GetDlgItem(dialog, id);
    for (const char *item : items) SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)item);
    SendMessageA(list, CB_SETCURSEL, selected, 0);
}

// The same for entries in the user's language.
template <size_t N>
void fillList(HWND dialog, int id, const UINT (&texts)[N], int selected) {
    HWND list = GetDlgItem(dialog, id);
    for (UINT text : texts) addListText(list, CB_ADDSTRING, text);
    SendMessageA(list, CB_SETCURSEL, selected, 0);
}

void setNumber(HWND dialog, int id, int value) {
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    SetDlgItemTextA(dialog, id, text);
}

int readNumber(HWND dialog, int id, int low, int high) {
    char text[129];
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return clampedNumber(text, low, high);
}

// The export running beside the dialog, and what its progress line is made of.
ExportJob gExportJob;
HWND gExportDialog = nullptr;  // while the dialog is open
bool gAskingToClose = false;   // the end of the export waits for the answer
struct ProgressState {
    DWORD startTick;
    DWORD lastTakeTick;  // when the latest take started
    int ordinal;         // of the take rendering, in the export's plan
};
ProgressState gProgress;
bool gPlacedName = false;          // the export's name was put into the default folder
char gWentTo[MAX_PATH + 16] = "";  // the folder the export's files go to
HWND gFocusBefore = nullptr;       // where the focus was when the export started

const UINT_PTR kRefreshTimer = 1;  // the time left, every second
const UINT_PTR kArmCancelTimer = 2;  // Cancel answers after the double-click time

// The choices, disabled while an export runs: it renders what they were at its start.
const int kChoiceControls[] = {IDC_EXPORT_FILE,     IDC_EXPORT_BROWSE,       IDC_EXPORT_TYPE,     IDC_EXPORT_FORMAT,
                               IDC_EXPORT_RATE,     IDC_EXPORT_CHANNELS,     IDC_EXPORT_MIDI_CHANNEL,
                               IDC_EXPORT_VELOCITY, IDC_EXPORT_HOLD,         IDC_EXPORT_RELEASE,
                               IDC_EXPORT_MULTISAMPLE, IDC_EXPORT_CHORD,     IDC_EXPORT_KEYS,
                               IDC_EXPORT_LAYERS,   IDC_EXPORT_LOOP,         IDC_EXPORT_TRIM,
                               IDC_EXPORT_WAV_KEY_DATA, IDC_EXPORT_NORMALISE, IDC_EXPORT_VARIATIONS,
                               IDC_EXPORT_INSTANCES};

void updateExportButton(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDC_EXPORT_START),
                 !gExportJob.active && exportEnabled(gExportSettings.fileName, gKeySelection.keys));
}

void initDialog(HWND dialog) {
    ExportSettings &s = gExportSettings;
    setKeyControlData(GetDlgItem(dialog, IDC_EXPORT_KEYS), &gKeyControlData);
    fillList(dialog, IDC_EXPORT_TYPE, kFileTypes, s.fileType);
    fillList(dialog, IDC_EXPORT_FORMAT, kSampleFormats, s.sampleFormat);
    fillList(dialog, IDC_EXPORT_RATE, kRateNames, s.rateIndex);
    fillList(dialog, IDC_EXPORT_CHANNELS, kChannelModes, s.channelMode);
    HWND channels = GetDlgItem(dialog, IDC_EXPORT_MIDI_CHANNEL);
    for (int c = 1; c <= kMidiChannels; ++c) {
        char text[4];
        snprintf(text, sizeof text, "%d", c);
        SendMessageA(channels, CB_ADDSTRING, 0, (LPARAM)text);
    }
    SendMessageA(channels, CB_SETCURSEL, s.midiChannel, 0);
    SetDlgItemTextA(dialog, IDC_EXPORT_FILE, s.fileName);
    setNumber(dialog, IDC_EXPORT_VELOCITY, s.velocity);
    setNumber(dialog, IDC_EXPORT_HOLD, s.holdMs);
    setNumber(dialog, IDC_EXPORT_RELEASE, s.releaseMs);
    SendDlgItemMessageA(dialog, IDC_EXPORT_FILE, EM_LIMITTEXT, kExportNameSize, 0);
    SendDlgItemMessageA(dialog, IDC_EXPORT_VELOCITY, EM_LIMITTEXT, 3, 0);
    SendDlgItemMessageA(dialog, IDC_EXPORT_HOLD, EM_LIMITTEXT, 5, 0);
    SendDlgItemMessageA(dialog, IDC_EXPORT_RELEASE, EM_LIMITTEXT, 5, 0);
    CheckDlgButton(dialog, s.mode == kExportMultisample ? IDC_EXPORT_MULTISAMPLE : IDC_EXPORT_CHORD, BST_CHECKED);
    fillList(dialog, IDC_EXPORT_LAYERS, kLayerCounts, s.layers - 1);
    CheckDlgButton(dialog, IDC_EXPORT_LOOP, s.loop ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_EXPORT_TRIM, s.trim ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_EXPORT_WAV_KEY_DATA, s.wavKeyData ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_EXPORT_NORMALISE, s.normalise ? BST_CHECKED : BST_UNCHECKED);
    fillList(dialog, IDC_EXPORT_VARIATIONS, kVariationCounts, s.variations - 1);
    HWND instances = GetDlgItem(dialog, IDC_EXPORT_INSTANCES);
    addListText(instances, CB_ADDSTRING, IDS_EXPORT_INSTANCES_AUTOMATIC);
    SendMessageA(instances, CB_ADDSTRING, 0, (LPARAM)kInstanceCounts[1]);
    SendMessageA(instances, CB_SETCURSEL, s.instances, 0);
    wchar_t cancel[32];
    if (loadText(IDS_EXPORT_CANCEL, cancel, 32)) SetDlgItemTextW(dialog, IDC_EXPORT_CANCEL, cancel);
    updateExportButton(dialog);
}

void browse(HWND dialog) {
    char name[kExportNameSize];
    memcpy(name, gExportSettings.fileName, sizeof name);
    char filter[256];
    loadFilter(IDS_FILTER_EXPORT, filter, sizeof filter);
    if (!runFileDialog(dialog, TRUE, name, filter, nullptr, "wav", FALSE, &gExportSettings.filterIndex, 0,
                       nullptr, 0))
        return;
    name[kExportNameSize - 1] = '\0';
    SetDlgItemTextA(dialog, IDC_EXPORT_FILE, name);  // its change notification stores it
    ExportFileType type = fileTypeForName(name, gExportSettings.fileType);
    if (type != gExportSettings.fileType) {
        gExportSettings.fileType = type;
        SendDlgItemMessageA(dialog, IDC_EXPORT_TYPE, CB_SETCURSEL, type, 0);
    }
}

// "3 of 3 files written to C:\...", under the progress bar's place, and below it
// the notes on the takes ("2 takes clipped; ...").
void showResult(HWND dialog, const ExportReport &report, const char *folder, wchar_t *line, size_t size) {
    wchar_t format[256], wideFolder[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, folder, -1, wideFolder, MAX_PATH);
    wideFolder[MAX_PATH - 1] = L'\0';
    line[0] = L'\0';
    if (loadText(IDS_EXPORT_RESULT, format, 256)) _snwprintf(line, size, format, report.written, report.planned, wideFolder);
    line[size - 1] = L'\0';
    SetDlgItemTextW(dialog, IDC_EXPORT_RESULT, line);
    wchar_t loaded[kExportNoteTexts][128], notes[1024];
    const wchar_t *texts[kExportNoteTexts];
    for (int i = 0; i < kExportNoteTexts; ++i) {
        loadText(kNoteTexts[i], loaded[i], 128);
        texts[i] = loaded[i];
    }
    exportNotesText(report, texts, notes, 1024);
    SetDlgItemTextW(dialog, IDC_EXPORT_NOTES, notes);
}

// The message at an export's end, when it was cancelled or files failed: for a
// cancelled export what was written; what failed, the first few files with the
// system's reason; and otherwise where the files written went.
void showEndMessage(HWND dialog, const ExportReport &report, const wchar_t *result) {
    static const int ids[8] = {IDS_EXPORT_CANCELLED_FILES, IDS_EXPORT_CANCELLED_NONE, IDS_EXPORT_CANNOT_CREATE,
                               IDS_EXPORT_NOT_WRITTEN,     IDS_EXPORT_REASON_CREATE,  IDS_EXPORT_REASON_NAME,
                               IDS_EXPORT_REASON_WRITE,    IDS_EXPORT_REASON_SIZE};
    wchar_t loaded[8][160];
    const wchar_t *texts[8];
    for (int i = 0; i < 8; ++i) {
        loadText(ids[i], loaded[i], 160);
        texts[i] = loaded[i];
    }
    wchar_t message[4096];
    if (report.cancelled)
        exportCancelText(report, texts, message, 4096);
    else if (!exportReportText(report, texts + 2, message, 4096))
        return;
    for (int i = 0; i < report.listed; ++i) {
        appendAnsiLine(message, 4096, report.failures[i].path);
        appendSystemReason(message, 4096, report.failures[i].systemError);
    }
    if (report.failed() > report.listed) {
        wchar_t more[160];
        formatText(more, 160, IDS_EXPORT_MORE_FAILURES, report.failed() - report.listed);
        appendLine(message, 4096, more);
    }
    // A cancelled export's first line says what was written; the result line below
    // the piano says where.
    if (!report.cancelled && report.failed() < report.planned) appendLine(message, 4096, result);
    if (report.failed())
        showErrorText(dialog, message);
    else
        MessageBoxW(dialog, message, L"Korvane", MB_OK | MB_ICONINFORMATION);
}

// "Take 7 of 96: C3 at velocity 64, 0:41 left", from the export's plan.
void updateProgressLine(HWND dialog) {
    const ExportPlan &plan = gExportJob.run.plan;
    if (gProgress.ordinal < 1 || gProgress.ordinal > plan.takeCount) return;
    wchar_t takeOf[64], chord[64], atVelocity[64], timeLeft[64];
    loadText(IDS_EXPORT_TAKE_OF, takeOf, 64);
    loadText(IDS_EXPORT_CHORD_KEYS, chord, 64);
    loadText(IDS_EXPORT_AT_VELOCITY, atVelocity, 64);
    loadText(IDS_EXPORT_TIME_LEFT, timeLeft, 64);
    ExportProgressTexts texts = {takeOf, chord, atVelocity, timeLeft};
    wchar_t label[96];
    exportTakeLabel(texts, plan.takes[gProgress.ordinal - 1], plan.chord, label, 96);
    DWORD now = GetTickCount();
    int64_t left = exportTimeLeftMs(gProgress.lastTakeTick - gProgress.startTick, gProgress.ordinal - 1,
                                    plan.takeCount, now - gProgress.startTick);
    wchar_t line[192];
    exportProgressText(texts, gProgress.ordinal, plan.takeCount, label, left, line, 192);
    SetDlgItemTextW(dialog, IDC_EXPORT_STATUS, line);
}

// The dialog while an export runs: the choices and Export disabled, Cancel in
// Export's place, the progress bar and line shown; and back.
void showExporting(HWND dialog, bool exporting) {
    for (int id : kChoiceControls) EnableWindow(GetDlgItem(dialog, id), !exporting);
    HWND start = GetDlgItem(dialog, IDC_EXPORT_START), cancel = GetDlgItem(dialog, IDC_EXPORT_CANCEL);
    HWND focus = GetFocus();
    ShowWindow(start, exporting ? SW_HIDE : SW_SHOW);
    updateExportButton(dialog);
    EnableWindow(cancel, FALSE);  // armed by its timer
    ShowWindow(cancel, exporting ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_EXPORT_PROGRESS), exporting ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_EXPORT_STATUS), exporting ? SW_SHOW : SW_HIDE);
    // A disabled or hidden control keeps no focus: Close takes it.
    if (!focus || !IsWindowVisible(focus) || !IsWindowEnabled(focus)) SetFocus(GetDlgItem(dialog, IDCANCEL));
    if (exporting) {
        SetTimer(dialog, kRefreshTimer, 1000, nullptr);
        SetTimer(dialog, kArmCancelTimer, GetDoubleClickTime(), nullptr);
    } else {
        KillTimer(dialog, kRefreshTimer);
        KillTimer(dialog, kArmCancelTimer);
    }
}

void exportCommand(HWND dialog) {
    // A second click never queues a second export (the button is hidden meanwhile).
    if (gExportJob.active || !exportEnabled(gExportSettings.fileName, gKeySelection.keys)) return;
    // A name without a folder of its own goes to Documents\Korvane, never to
    // whatever folder happens to be current.
    ExportSettings settings = gExportSettings;
    char folder[MAX_PATH];
    korvaneDocumentsFolder(folder, sizeof folder);
    gPlacedName = placeExportName(gExportSettings.fileName, folder, settings.fileName, sizeof settings.fileName) &&
                  strcmp(settings.fileName, gExportSettings.fileName) != 0;
    if (gPlacedName) CreateDirectoryA(folder, nullptr);
    char went[MAX_PATH];
    folderOfPath(settings.fileName, went, sizeof went);
    snprintf(gWentTo, sizeof gWentTo, strcmp(went, ".") == 0 ? "%s" : "%s\\", went);
    SetDlgItemTextW(dialog, IDC_EXPORT_RESULT, L"");
    SetDlgItemTextW(dialog, IDC_EXPORT_NOTES, L"");
    SetDlgItemTextA(dialog, IDC_EXPORT_STATUS, "");
    gProgress = {GetTickCount(), GetTickCount(), 0};
    gFocusBefore = GetFocus();  // Export itself when clicked: hiding it drops the focus
    // Its messages come through this dialog's queue, so they find it showing the export.
    startExport(gExportJob, settings, gKeySelection.keys, dialog);
    // The bar counts the plan's takes (keys x layers).
    HWND bar = GetDlgItem(dialog, IDC_EXPORT_PROGRESS);
    SendMessageA(bar, PBM_SETRANGE32, 0, gExportJob.run.plan.takeCount);
    SendMessageA(bar, PBM_SETPOS, 0, 0);
    showExporting(dialog, true);
}

void onTakeStarted(HWND dialog, int ordinal) {
    if (!gExportJob.active) return;
    gProgress.ordinal = ordinal;
    gProgress.lastTakeTick = GetTickCount();
    SendDlgItemMessageA(dialog, IDC_EXPORT_PROGRESS, PBM_SETPOS, ordinal, 0);
    updateProgressLine(dialog);
}

// The name keeps the extension the export gave it; the box shows it as typed when
// the export placed it in the default folder.
void keepExportName(const ExportReport &report) {
    if (!gPlacedName) memcpy(gExportSettings.fileName, report.fileName, sizeof gExportSettings.fileName);
}

// The export's thread has finished: the engine is restored, the dialog usable again,
// and the report shown.
void onExportDone(HWND dialog) {
    if (!gExportJob.active || gAskingToClose) return;  // finished by a close, or the question decides
    ExportReport report = finishExport(gExportJob);
    // The name and the result line first: once the dialog shows the export as ended
    // (moving the focus may answer messages of other programs) a new name may come.
    keepExportName(report);
    wchar_t result[512];
    showResult(dialog, report, gWentTo, result, 512);
    showExporting(dialog, false);
    if (gFocusBefore && IsWindowVisible(gFocusBefore) && IsWindowEnabled(gFocusBefore))
        SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)gFocusBefore, TRUE);
    showEndMessage(dialog, report, result);
}

// Closing while an export runs asks first; true when the dialog may close (no export,
// or the user cancelled it: it has ended and the engine is restored).
bool confirmCancelForClose(HWND dialog) {
    if (!gExportJob.active) return true;
    if (!exportThreadEnded(gExportJob)) {
        wchar_t question[256];
        loadText(IDS_EXPORT_CANCEL_QUESTION, question, 256);
        gAskingToClose = true;
        int answer = MessageBoxW(dialog, question, L"Korvane", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        gAskingToClose = false;
        if (answer != IDYES) {
            // An end that came meanwhile is handled now.
            if (exportThreadEnded(gExportJob)) PostMessageA(dialog, kExportDoneMessage, 0, 0);
            return false;
        }
        // The export may have ended while the question was open; cancelling it then does nothing.
    }
    cancelExport(gExportJob);
    ExportReport report = finishExport(gExportJob);
    keepExportName(report);
    return true;
}

// The lists and number boxes that store straight into a field.
struct ListField {
    int id;
    int count;  // entries in the list; the selected index is the field's value
    void (*store)(ExportSettings &s, int index);
};
const ListField kListFields[] = {
    {IDC_EXPORT_TYPE, (int)std::size(kFileTypes),
     [](ExportSettings &s, int i) { s.fileType = (ExportFileType)i; }},
    {IDC_EXPORT_FORMAT, (int)std::size(kSampleFormats),
     [](ExportSettings &s, int i) { s.sampleFormat = (WavDepth)i; }},
    {IDC_EXPORT_RATE, (int)std::size(kRateNames), [](ExportSettings &s, int i) { s.rateIndex = i; }},
    {IDC_EXPORT_CHANNELS, (int)std::size(kChannelModes),
     [](ExportSettings &s, int i) { s.channelMode = (ExportChannels)i; }},
    {IDC_EXPORT_MIDI_CHANNEL, kMidiChannels, [](ExportSettings &s, int i) { s.midiChannel = i; }},
    {IDC_EXPORT_LAYERS, (int)std::size(kLayerCounts), [](ExportSettings &s, int i) { s.layers = i + 1; }},
    {IDC_EXPORT_VARIATIONS, (int)std::size(kVariationCounts), [](ExportSettings &s, int i) { s.variations = i + 1; }},
    {IDC_EXPORT_INSTANCES, (int)std::size(kInstanceCounts),
     [](ExportSettings &s, int i) { s.instances = (ExportInstances)i; }}};
struct NumberField {
    int id;
    int ExportSettings::*field;
    int low, high;
};
const NumberField kNumberFields[] = {{IDC_EXPORT_VELOCITY, &ExportSettings::velocity, 0, 127},
                                     {IDC_EXPORT_HOLD, &ExportSettings::holdMs, 1, 99999},
                                     {IDC_EXPORT_RELEASE, &ExportSettings::releaseMs, 0, 99999}};

void onCommand(HWND dialog, int id, int code) {
    ExportSettings &s = gExportSettings;
    for (const ListField &f : kListFields) {
        if (f.id != id || code != CBN_SELCHANGE) continue;
        int index = (int)SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
        if (index >= 0 && index < f.count) f.store(s, index);  // CB_ERR: nothing selected
    }
    for (const NumberField &f : kNumberFields)
        if (f.id == id && code == EN_CHANGE) s.*f.field = readNumber(dialog, id, f.low, f.high);
    switch (id) {
    case IDC_EXPORT_MULTISAMPLE:
    case IDC_EXPORT_CHORD:
        if (code == BN_CLICKED)
            s.mode = IsDlgButtonChecked(dialog, IDC_EXPORT_MULTISAMPLE) == BST_CHECKED ? kExportMultisample : kExportChord;
        break;
    case IDC_EXPORT_LOOP:
        if (code == BN_CLICKED) s.loop = IsDlgButtonChecked(dialog, IDC_EXPORT_LOOP) == BST_CHECKED;
        break;
    case IDC_EXPORT_TRIM:
        if (code == BN_CLICKED) s.trim = IsDlgButtonChecked(dialog, IDC_EXPORT_TRIM) == BST_CHECKED;
        break;
    case IDC_EXPORT_WAV_KEY_DATA:
        if (code == BN_CLICKED) s.wavKeyData = IsDlgButtonChecked(dialog, IDC_EXPORT_WAV_KEY_DATA) == BST_CHECKED;
        break;
    case IDC_EXPORT_NORMALISE:
        if (code == BN_CLICKED) s.normalise = IsDlgButtonChecked(dialog, IDC_EXPORT_NORMALISE) == BST_CHECKED;
        break;
    case IDC_EXPORT_FILE:
        if (code == EN_CHANGE) {
            GetDlgItemTextA(dialog, IDC_EXPORT_FILE, s.fileName, kExportNameSize);
            updateExportButton(dialog);
        }
        break;
    case IDC_EXPORT_KEYS:
        if (code == kKeysChangedCode) updateExportButton(dialog);
        break;
    case IDC_EXPORT_BROWSE:
        browse(dialog);
        break;
    case IDC_EXPORT_START:
        exportCommand(dialog);
        break;
    case IDC_EXPORT_CANCEL:
        if (code == BN_CLICKED && gExportJob.active) {
            cancelExport(gExportJob);
            EnableWindow(GetDlgItem(dialog, IDC_EXPORT_CANCEL), FALSE);
        }
        break;
    case IDCANCEL:
        if (confirmCancelForClose(dialog)) EndDialog(dialog, 0);
        break;
    default:
        break;
    }
}

}  // namespace

int clampedNumber(const char *text, int low, int high) {
    long value = strtol(text, nullptr, 10);  // out of long's range it saturates
    if (value < low) return low;
    if (value > high) return high;
    return (int)value;
}

bool exportEnabled(const char *fileName, const unsigned char *keys) {
    if (fileName[0] == '\0') return false;
    for (int k = 0; k < kKeyCount; ++k)
        if (keys[k]) return true;
    return false;
}

ExportFileType fileTypeForName(const char *name, ExportFileType current) {
    PathParts parts;
    splitPath(name, parts);
    if (_stricmp(parts.extension, ".wav") == 0) return kExportWav;
    if (_stricmp(parts.extension, ".sf2") == 0) return kExportSoundFont;
    if (_stricmp(parts.extension, ".sfz") == 0) return kExportSfz;
    if (_stricmp(parts.extension, ".dspreset") == 0) return kExportDecentSampler;
    return current;
}

void runExportDialog(HWND owner) {
    DialogBoxParamA(gInstance, MAKEINTRESOURCEA(IDD_EXPORT), owner, exportDialogProc, 0);
}

bool closeRunningExport() {
    if (!gExportJob.active) return true;
    if (!gExportDialog || !confirmCancelForClose(gExportDialog)) return false;
    EndDialog(gExportDialog, 0);
    return true;
}

INT_PTR CALLBACK exportDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        gExportDialog = dialog;
        initDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        onCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        if (confirmCancelForClose(dialog)) EndDialog(dialog, 0);
        return TRUE;
    case WM_TIMER:
        if (wParam == kArmCancelTimer) {
            KillTimer(dialog, kArmCancelTimer);
            if (gExportJob.active && !gExportJob.cancel) EnableWindow(GetDlgItem(dialog, IDC_EXPORT_CANCEL), TRUE);
        } else if (wParam == kRefreshTimer && gExportJob.active) {
            updateProgressLine(dialog);
        }
        return TRUE;
    case WM_DESTROY:
        gExportDialog = nullptr;
        return FALSE;
    case kExportTakeMessage:
        onTakeStarted(dialog, (int)wParam);
        return TRUE;
    case kExportDoneMessage:
        onExportDone(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}
