#include "export/dialog/export_dialog.h"

#include <commctrl.h>
#include <shellapi.h>

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
bool gAskingToClose = false;   // the question whether to cancel the export for a close is open
// What happens once a cancelled export has ended: a close asked for while it ran.
enum CloseAfterExport { kStayOpen, kCloseDialog, kCloseProgram };
CloseAfterExport gCloseAfter = kStayOpen;
struct ProgressState {
    DWORD startTick;
    DWORD lastTakeTick;  // when the latest take started
    int ordinal;         // of the take rendering, in the export's plan
};
ProgressState gProgress;
bool gPlacedName = false;          // the export's name was put into the default folder
char gWentTo[MAX_PATH + 16] = "";  // the folder the export's files go to
HWND gFocusBefore = nullptr;       // where the focus was when the export started
HWND gFolderTip = nullptr;         // the folder line's tooltip

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

// The format list holds what the file type can hold; a format it cannot becomes the
// deepest it can.
void fillSampleFormats(HWND dialog) {
    ExportSettings &s = gExportSettings;
    HWND list = GetDlgItem(dialog, IDC_EXPORT_FORMAT);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    const int held = sampleFormatsHeld(s.fileType);
    for (int i = 0; i < held; ++i) addListText(list, CB_ADDSTRING, kSampleFormats[i]);
    s.sampleFormat = heldSampleFormat(s.fileType, s.sampleFormat);
    SendMessageA(list, CB_SETCURSEL, s.sampleFormat, 0);
}

void makeFolderTip(HWND dialog);

void initDialog(HWND dialog) {
    ExportSettings &s = gExportSettings;
    setKeyControlData(GetDlgItem(dialog, IDC_EXPORT_KEYS), &gKeyControlData);
    fillList(dialog, IDC_EXPORT_TYPE, kFileTypes, s.fileType);
    fillSampleFormats(dialog);
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
    makeFolderTip(dialog);
    updateExportButton(dialog);
}

void browse(HWND dialog) {
    char name[kExportNameSize];
    memcpy(name, gExportSettings.fileName, sizeof name);
    char filter[256];
    loadFilter(IDS_FILTER_EXPORT, filter, sizeof filter);
    if (!runFileDialog(dialog, kExportFiles, TRUE, name, filter, nullptr, "wav", FALSE, &gExportSettings.filterIndex, 0,
                       nullptr, 0))
        return;
    name[kExportNameSize - 1] = '\0';
    SetDlgItemTextA(dialog, IDC_EXPORT_FILE, name);  // its change notification stores it
    ExportFileType type = fileTypeForName(name, gExportSettings.fileType);
    if (type != gExportSettings.fileType) {
        gExportSettings.fileType = type;
        SendDlgItemMessageA(dialog, IDC_EXPORT_TYPE, CB_SETCURSEL, type, 0);
        fillSampleFormats(dialog);
    }
}

// The counts of an export's result ("3 of 3 files written"), in the form for its total.
void resultCounts(const ExportReport &report, wchar_t *line, size_t size) {
    wchar_t forms[2][128];
    loadText(IDS_EXPORT_RESULT, forms[0], 128);
    loadText(IDS_EXPORT_RESULT_ONE, forms[1], 128);
    const wchar_t *const texts[2] = {forms[0], forms[1]};
    _snwprintf(line, size, formForTotal(texts, report.planned), report.written, report.planned);
    line[size - 1] = L'\0';
}

// The folder line: the whole path (the line shortens it in the middle to fit; its
// tooltip holds it whole) and Open folder beside it.
void showFolder(HWND dialog, const char *folder) {
    wchar_t wide[MAX_PATH + 16];
    MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, MAX_PATH + 16);
    wide[MAX_PATH + 15] = L'\0';
    SetDlgItemTextW(dialog, IDC_EXPORT_FOLDER, wide);
    TOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.hwnd = dialog;
    tool.uId = (UINT_PTR)GetDlgItem(dialog, IDC_EXPORT_FOLDER);
    tool.lpszText = wide;
    SendMessageW(gFolderTip, TTM_UPDATETIPTEXTW, 0, (LPARAM)&tool);
    ShowWindow(GetDlgItem(dialog, IDC_EXPORT_OPEN_FOLDER), folder[0] ? SW_SHOW : SW_HIDE);
}

// The tooltip that shows the folder line's whole path.
void makeFolderTip(HWND dialog) {
    gFolderTip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                 dialog, nullptr, gInstance, nullptr);
    if (!gFolderTip) return;
    TOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = (UINT_PTR)GetDlgItem(dialog, IDC_EXPORT_FOLDER);
    tool.lpszText = const_cast<wchar_t *>(L"");
    SendMessageW(gFolderTip, TTM_ADDTOOLW, 0, (LPARAM)&tool);
    SendMessageW(gFolderTip, TTM_SETMAXTIPWIDTH, 0, 600);
}

// Opens the folder of the export's files in the file manager.
void openFolder(HWND dialog) {
    wchar_t folder[MAX_PATH + 16];
    if (!GetDlgItemTextW(dialog, IDC_EXPORT_FOLDER, folder, MAX_PATH + 16)) return;
    ShellExecuteW(dialog, L"open", folder, nullptr, nullptr, SW_SHOWNORMAL);
}

// The result under the progress bar's place: the counts on one line ("3 of 3 files
// written"), the notes on the takes below them ("2 takes clipped; ..."), and the
// folder on a line of its own. line receives "<counts>\n<folder>" for the end message.
void showResult(HWND dialog, const ExportReport &report, const char *folder, wchar_t *line, size_t size) {
    wchar_t counts[256];
    resultCounts(report, counts, 256);
    SetDlgItemTextW(dialog, IDC_EXPORT_RESULT, counts);
    showFolder(dialog, folder);
    _snwprintf(line, size, L"%ls", counts);
    line[size - 1] = L'\0';
    appendAnsiLine(line, size, folder);
    wchar_t loaded[kExportNoteTexts][128], notes[1024];
    const wchar_t *texts[kExportNoteTexts];
    for (int i = 0; i < kExportNoteTexts; ++i) {
        loadText(kNoteTexts[i], loaded[i], 128);
        texts[i] = loaded[i];
    }
    // A chord's takes are told as the chord's, and why they have no loop.
    if (report.chord) {
        UINT unlooped = report.chordsWithoutPeriod ? IDS_EXPORT_NOTE_CHORD_NO_PERIOD : IDS_EXPORT_NOTE_CHORD_UNLOOPED;
        loadText(unlooped, loaded[kNoteUnlooped], 128);
        loadText(unlooped + 1, loaded[kNoteUnloopedOne], 128);
    }
    exportNotesText(report, texts, notes, 1024);
    SetDlgItemTextW(dialog, IDC_EXPORT_NOTES, notes);
}

// The message at an export's end, when it was cancelled or files failed: for a
// cancelled export what was written; what failed, the first few files each with its
// reason (the system's, else why the export left it out); and otherwise where the
// files written went.
void showEndMessage(HWND dialog, const ExportReport &report, const wchar_t *result) {
    static const UINT reasonIds[kFailureKinds] = {IDS_EXPORT_REASON_CREATE, IDS_EXPORT_REASON_NAME,
                                                  IDS_EXPORT_REASON_WRITE, IDS_EXPORT_REASON_SIZE,
                                                  IDS_EXPORT_REASON_SET};
    static const UINT whyIds[kFailureKinds] = {IDS_EXPORT_WHY_CREATE, IDS_EXPORT_WHY_NAME, IDS_EXPORT_WHY_WRITE,
                                               IDS_EXPORT_WHY_SIZE, IDS_EXPORT_WHY_SET};
    wchar_t cancelled[2][160], none[160], cannotCreate[160], notWritten[2][160], reasons[kFailureKinds][160];
    loadText(IDS_EXPORT_CANCELLED_FILES, cancelled[0], 160);
    loadText(IDS_EXPORT_CANCELLED_FILES_ONE, cancelled[1], 160);
    loadText(IDS_EXPORT_CANCELLED_NONE, none, 160);
    loadText(IDS_EXPORT_CANNOT_CREATE, cannotCreate, 160);
    loadText(IDS_EXPORT_NOT_WRITTEN, notWritten[0], 160);
    loadText(IDS_EXPORT_NOT_WRITTEN_ONE, notWritten[1], 160);
    ExportEndTexts texts = {{cancelled[0], cancelled[1]}, none, cannotCreate, {notWritten[0], notWritten[1]}, {}};
    for (int i = 0; i < kFailureKinds; ++i) {
        loadText(reasonIds[i], reasons[i], 160);
        texts.reasons[i] = reasons[i];
    }
    wchar_t message[4096];
    if (report.cancelled)
        exportCancelText(report, texts, message, 4096);
    else if (!exportReportText(report, texts, message, 4096))
        return;
    for (int i = 0; i < report.listed; ++i) {
        const ExportFailure &failure = report.failures[i];
        appendAnsiLine(message, 4096, failure.path);
        wchar_t why[160];
        if (failure.systemError)
            appendSystemReason(message, 4096, failure.systemError);
        else if (loadText(whyIds[failure.kind], why, 160))
            appendLine(message, 4096, why);
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
    loadText(plan.takes[gProgress.ordinal - 1].keyCount == 1 ? IDS_EXPORT_CHORD_KEYS_ONE : IDS_EXPORT_CHORD_KEYS,
             chord, 64);
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

// A name the files cannot have is refused with the reason, before anything renders;
// false then.
bool nameAccepted(HWND dialog, const char *name) {
    ExportNameCheck check = checkExportName(name);
    wchar_t format[256], text[512], part[kPathLimit];
    switch (check.problem) {
    case kNameFine:
        return true;
    case kNameBlank:
        loadText(IDS_EXPORT_NAME_BLANK, text, 512);
        break;
    case kNameForbiddenCharacter:
        loadText(IDS_EXPORT_NAME_CHARACTER, format, 256);
        _snwprintf(text, 512, format, (wint_t)(unsigned char)check.character);
        break;
    case kNameReserved:
        MultiByteToWideChar(CP_ACP, 0, check.part, -1, part, kPathLimit);
        part[kPathLimit - 1] = L'\0';
        loadText(IDS_EXPORT_NAME_RESERVED, format, 256);
        _snwprintf(text, 512, format, part);
        break;
    }
    text[511] = L'\0';
    showErrorText(dialog, text);
    SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(dialog, IDC_EXPORT_FILE), TRUE);
    return false;
}

// The files' folder, made with every folder above it that is missing; false, with the
// system's reason shown, when it cannot be.
bool folderMade(HWND dialog, const char *folder) {
    DWORD error = 0;
    if (makeFolders(folder, &error)) return true;
    wchar_t format[256], wideFolder[MAX_PATH], text[1024];
    MultiByteToWideChar(CP_ACP, 0, folder, -1, wideFolder, MAX_PATH);
    wideFolder[MAX_PATH - 1] = L'\0';
    loadText(IDS_EXPORT_FOLDER_FAILED, format, 256);
    _snwprintf(text, 1024, format, wideFolder);
    text[1023] = L'\0';
    appendSystemReason(text, 1024, error);
    showErrorText(dialog, text);
    return false;
}

void exportCommand(HWND dialog) {
    // A second click never queues a second export (the button is hidden meanwhile).
    if (gExportJob.active || !exportEnabled(gExportSettings.fileName, gKeySelection.keys)) return;
    if (!nameAccepted(dialog, gExportSettings.fileName)) return;
    // A name without a folder of its own goes to Documents\Korvane, never to
    // whatever folder happens to be current.
    ExportSettings settings = gExportSettings;
    char folder[MAX_PATH];
    korvaneDocumentsFolder(folder, sizeof folder);
    gPlacedName = placeExportName(gExportSettings.fileName, folder, settings.fileName, sizeof settings.fileName) &&
                  strcmp(settings.fileName, gExportSettings.fileName) != 0;
    char went[MAX_PATH];
    folderOfPath(settings.fileName, went, sizeof went);
    if (!folderMade(dialog, went)) return;
    rememberFolderOf(kExportFiles, settings.fileName);  // where "..." opens next
    snprintf(gWentTo, sizeof gWentTo, strcmp(went, ".") == 0 ? "%s" : "%s\\", went);
    SetDlgItemTextW(dialog, IDC_EXPORT_RESULT, L"");
    SetDlgItemTextW(dialog, IDC_EXPORT_NOTES, L"");
    showFolder(dialog, "");
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

// A dialog (a message box) the window in search[0] owns goes to search[1].
BOOL CALLBACK findOwnedBox(HWND w, LPARAM context) {
    HWND *search = (HWND *)context;
    char name[16] = "";
    GetClassNameA(w, name, sizeof name);
    if (strcmp(name, "#32770") != 0 || GetWindow(w, GW_OWNER) != search[0]) return TRUE;
    search[1] = w;
    return FALSE;
}

// The question whether to cancel the export for a close, open while the export ended:
// with nothing left to cancel it is answered No (the result then shows as usual).
void closeQuestion(HWND dialog) {
    HWND search[2] = {dialog, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), findOwnedBox, (LPARAM)search);
    if (search[1]) EndDialog(search[1], IDNO);
}

// After a close the user asked for, the main window's status line says what the
// export kept and where ("Export cancelled: 277 of 384 files kept in C:\...\").
void tellKept(const ExportReport &report, const char *folder) {
    wchar_t format[160], wideFolder[MAX_PATH + 16], text[512];
    MultiByteToWideChar(CP_ACP, 0, folder, -1, wideFolder, MAX_PATH + 16);
    wideFolder[MAX_PATH + 15] = L'\0';
    if (report.written == 0) {
        loadText(IDS_EXPORT_CLOSED_NONE, text, 512);
    } else {
        const bool one = report.planned == 1;
        loadText(report.cancelled ? (one ? IDS_EXPORT_CLOSED_KEPT_ONE : IDS_EXPORT_CLOSED_KEPT)
                                  : (one ? IDS_EXPORT_CLOSED_DONE_ONE : IDS_EXPORT_CLOSED_DONE),
                 format, 160);
        _snwprintf(text, 512, format, report.written, report.planned, wideFolder);
        text[511] = L'\0';
    }
    if (gStatusLine) SetWindowTextW(gStatusLine, text);
}

// The export's thread has finished: the engine is restored, the dialog usable again,
// and the report shown; or, after a close asked for meanwhile, the dialog closes and
// the status line says what was kept.
void onExportDone(HWND dialog) {
    if (!gExportJob.active) return;  // finished already
    if (gAskingToClose) {
        closeQuestion(dialog);  // its answer brings this message back
        return;
    }
    ExportReport report = finishExport(gExportJob);
    // The name and the result line first: once the dialog shows the export as ended
    // (moving the focus may answer messages of other programs) a new name may come.
    keepExportName(report);
    wchar_t result[512];
    showResult(dialog, report, gWentTo, result, 512);
    if (gCloseAfter != kStayOpen) {
        const CloseAfterExport after = gCloseAfter;
        gCloseAfter = kStayOpen;
        if (report.failed()) showEndMessage(dialog, report, result);  // the reasons are not lost
        tellKept(report, gWentTo);
        HWND owner = GetWindow(dialog, GW_OWNER);
        EndDialog(dialog, 0);
        if (after == kCloseProgram && owner) PostMessageA(owner, WM_CLOSE, 0, 0);
        return;
    }
    showExporting(dialog, false);
    if (gFocusBefore && IsWindowVisible(gFocusBefore) && IsWindowEnabled(gFocusBefore))
        SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)gFocusBefore, TRUE);
    showEndMessage(dialog, report, result);
}

// Closing while an export runs asks first; true when the dialog may close now (no
// export). On Yes the export is cancelled and the dialog (with the program, when that
// is what closes) closes once it has ended: meanwhile the dialog keeps painting and
// answering.
bool confirmCancelForClose(HWND dialog, bool closingProgram) {
    if (!gExportJob.active) return true;
    if (gCloseAfter != kStayOpen || gAskingToClose) {
        // Asked already: the export is ending, or the question is open.
        if (closingProgram && gCloseAfter == kCloseDialog) gCloseAfter = kCloseProgram;
        return false;
    }
    int answer = IDYES;  // an export that has ended has nothing to cancel: no question
    if (!exportThreadEnded(gExportJob)) {
        wchar_t question[256];
        loadText(IDS_EXPORT_CANCEL_QUESTION, question, 256);
        gAskingToClose = true;
        answer = MessageBoxW(dialog, question, L"Korvane", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        gAskingToClose = false;
    }
    if (answer == IDYES) {
        gCloseAfter = closingProgram ? kCloseProgram : kCloseDialog;
        cancelExport(gExportJob);
        EnableWindow(GetDlgItem(dialog, IDC_EXPORT_CANCEL), FALSE);
    }
    // An end that came meanwhile (or comes now) is handled by its message.
    if (exportThreadEnded(gExportJob)) PostMessageA(dialog, kExportDoneMessage, 0, 0);
    return false;
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
        if (id == IDC_EXPORT_TYPE) fillSampleFormats(dialog);
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
        if (code == BN_CLICKED) {
            s.loop = IsDlgButtonChecked(dialog, IDC_EXPORT_LOOP) == BST_CHECKED;
            // A loop found is only kept in a per-key WAV by its sampler chunks: they come on
            // with it (and can be switched off again).
            if (s.loop && !s.wavKeyData) {
                s.wavKeyData = true;
                CheckDlgButton(dialog, IDC_EXPORT_WAV_KEY_DATA, BST_CHECKED);
            }
        }
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
    case IDC_EXPORT_OPEN_FOLDER:
        if (code == BN_CLICKED) openFolder(dialog);
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
        if (confirmCancelForClose(dialog, false)) EndDialog(dialog, 0);
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
    if (!gExportDialog || !confirmCancelForClose(gExportDialog, true)) return false;
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
        if (confirmCancelForClose(dialog, false)) EndDialog(dialog, 0);
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
