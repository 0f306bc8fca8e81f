// The export's choices and the report of what an export wrote, which the dialog, the
// export's run and every writer share.
#pragma once

#include "engine/wav_writer.h"

const int kExportNameSize = 260;

// The values of the choices are the list indexes of the dialog's combos.
enum ExportFileType { kExportWav = 0, kExportSoundFont = 1, kExportSfz = 2 };
enum ExportChannels { kExportMono = 0, kExportStereo = 1 };
enum ExportMode { kExportMultisample = 0, kExportChord = 1 };

// The export's choices.
struct ExportSettings {
    char fileName[kExportNameSize];  // as typed or chosen; the writers replace its extension
    ExportFileType fileType;         // list 1005
    WavDepth sampleFormat;           // list 1016; WAV only
    int rateIndex;                   // list 1017: index into the eight offered rates
    ExportChannels channelMode;      // list 1018
    int holdMs;                      // 1 ... 99999
    int releaseMs;                   // 0 ... 99999
    int velocity;                    // 0 ... 127
    int midiChannel;                 // list 1008: 0 ... 15
    ExportMode mode;                 // buttons 1011 and 1012
    int filterIndex;                 // the file dialog's last filter
    int layers;                      // velocity layers, 1 ... 8 (list 1033)
    bool loop;                       // sustain loops (box 1034)
    bool trim;                       // trimmed tails (box 1035)
};

// The choices at every program start.
extern const ExportSettings kDefaultExportSettings;

// A file of an export that was not written: its path and the system's error code
// (0 when the system had no part in it: a name too long, sizes too large).
struct ExportFailure {
    char path[kExportNameSize];
    unsigned long systemError;
};
const int kListedExportFailures = 3;  // the report names the first few, then counts the rest

// Why files of an export were not written; reported once at the end.
struct ExportReport {
    int planned;      // files the export meant to write
    int notCreated;   // the file could not be created
    int nameTooLong;  // the composed name exceeds the path limit
    int notWritten;   // created, but writing failed (disk full, ...)
    int tooLarge;     // the sizes would not fit the file format
    // The settings' file name with the extension the writer gave it (".wav" or
    // ".sf2"), or as it was when that would not fit; the dialog keeps it.
    char fileName[kExportNameSize];
    ExportFailure failures[kListedExportFailures];  // the first `listed` files not written
    int listed;
    int written;     // files written completely
    bool cancelled;  // the export stopped at the user's request
    int unlooped;    // takes written without the sustain loop asked for (no steady part found)
    int failed() const { return notCreated + nameTooLong + notWritten + tooLarge; }
};

// Keeps the path and the system's reason of a file not written, while the report
// has room for it (the counts above are kept by the caller).
void noteExportFailure(ExportReport &report, const char *path, unsigned long systemError);
