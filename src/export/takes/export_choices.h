// The export's choices, as the dialog keeps them and every part of the export reads them.
#pragma once

#include "engine/wav_writer.h"

const int kExportNameSize = 260;

// The values of the choices are the list indexes of the dialog's combos.
enum ExportFileType { kExportWav = 0, kExportSoundFont = 1, kExportSfz = 2, kExportDecentSampler = 3 };
enum ExportChannels { kExportMono = 0, kExportStereo = 1 };
enum ExportMode { kExportMultisample = 0, kExportChord = 1 };
enum ExportInstances { kInstancesAutomatic = 0, kInstancesOne = 1 };

struct ExportSettings {
    char fileName[kExportNameSize];  // as typed or chosen; the file types replace its extension
    ExportFileType fileType;         // list 1005: WAV, SF2, SFZ or Decent Sampler
    WavDepth sampleFormat;           // list 1016; the WAV files' and the SoundFont's (16 or 24 bits)
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
    bool wavKeyData;                 // per-key WAVs carry their root key, ranges and loop (box 1036)
    bool normalise;                  // one gain for the set: its loudest sample at -1 dBFS (box 1037)
    int variations;                  // takes of each key and layer, 1 ... 4 (list 1038)
    ExportInstances instances;       // list 1060: automatic (one per processor) or one
};

// The choices at a program's first start.
extern const ExportSettings kDefaultExportSettings;

// The sample formats a file type holds, the first this many of WavDepth: a SoundFont
// holds 16 and 24 bits (2.04's sm24), no float.
int sampleFormatsHeld(ExportFileType type);
// The format chosen, or the deepest the file type holds when it holds not that one.
WavDepth heldSampleFormat(ExportFileType type, WavDepth chosen);
