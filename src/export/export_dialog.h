// The export dialog (109) and the choices it keeps for the program's run.
#pragma once

#include <windows.h>

const int kExportNameSize = 260;

enum ExportFileType { kExportWav = 0, kExportSoundFont = 1 };
enum ExportMode { kExportMultisample = 0, kExportChord = 1 };

// The export's choices; not stored in the registry, they start from these defaults
// at every program start.
struct ExportSettings {
    char fileName[kExportNameSize];  // as typed or chosen; the writers replace its extension
    int fileType;     // ExportFileType (index in 1005)
    int sampleFormat; // WavDepth (index in 1016); WAV only
    int rateIndex;    // index in 1017 into the eight offered rates
    int channelMode;  // 0 mono, 1 stereo (index in 1018)
    int holdMs;       // 1 ... 99999
    int releaseMs;    // 0 ... 99999
    int velocity;     // 0 ... 127
    int midiChannel;  // 0 ... 15
    int mode;         // ExportMode
    int filterIndex;  // the file dialog's last filter
};

extern ExportSettings gExportSettings;
extern const ExportSettings kDefaultExportSettings;

// The usual decimal text-to-integer rule (leading blanks, optional sign, digits up
// to the first other character, none gives 0), clamped to low..high.
int clampedNumber(const char *text, int low, int high);

// Export is enabled with a file name and at least one selected key.
bool exportEnabled(const char *fileName, const unsigned char *keys);

// The file type a browsed name implies by its extension (.wav, .sf2, any case), or
// `current` for any other extension.
int fileTypeForName(const char *name, int current);

struct ExportReport;

// The whole export (render set-up, the writer for the file type and mode, restore)
// with the settings and key flags; progress may be null. Counts go into report.
void runExport(ExportSettings &settings, const unsigned char *keySelection, HWND progress, ExportReport &report);

// The one message of an export with failures, or false when every file was written.
// texts: "Could not create file.", the "%d of %d files were not written:" line and
// the four reasons (create, name too long, write, too large), each with "%d".
bool exportReportText(const ExportReport &report, const wchar_t *const texts[6], wchar_t *out, size_t size);

// The dialog, modal, owned by the main window.
void runExportDialog(HWND owner);
INT_PTR CALLBACK exportDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
