// Naming of the exported samples and their WAV output: one file per key
// (multisample) or one for the chord, encoded from the takes in 4096-frame chunks
// into the output's pieces.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/wav_writer.h"
#include "export/output_writer.h"

struct ExportReport;
struct ExportSettings;
struct OfflineRender;

const int kPathLimit = 260;   // characters including the terminator
const int kTakeChunk = 4096;  // frames per read of the temporary files

// A path split by the usual rules: drive = the first two characters when the second
// is a colon; folder up to and including the last '\' or '/'; extension from the last
// dot after the folder; base name between.
struct PathParts {
    char drive[3];
    char folder[kPathLimit];
    char base[kPathLimit];
    char extension[kPathLimit];
};

void splitPath(const char *path, PathParts &parts);
// drive, folder (a '\' added when it does not end in one), base, extension (a dot
// added when it lacks one). False, with out emptied, when it needs more than size.
bool buildPath(char *out, size_t size, const PathParts &parts, const char *extension);

// Gives the name the dialog keeps (report.fileName, whose parts these are) the
// extension; false, the name unchanged, when the result would not fit.
bool renameStored(ExportReport &report, const PathParts &parts, const char *extension);

// The name an export writes under: a name that names no folder of its own (neither
// a drive nor a leading '\' or '/') is placed in defaultFolder; any other is kept.
// False, with out emptied, when the result needs more than size.
bool placeExportName(const char *name, const char *defaultFolder, char *out, size_t size);

// "C", "C#", ... by key mod 12 with octave key div 12 - 2: key 60 is "C3".
void noteName(int key, char *out, size_t size);
// <drive><folder><base>_<note name>_v<velocity>.wav, the note name left out for a key
// below 0 and the velocity for one below 0; false when the name would not fit the
// path limit (the take is then skipped).
bool keyFileName(char *out, size_t size, const PathParts &parts, int key, int velocity = -1);

// Encodes one chunk of a take: stereo interleaved (left first) or the mono mix
// (L + R) / 2, in the depth's encoding. out holds frames x channels x bytes.
void encodeTakeChunk(const float *left, const float *right, int frames, int channels, WavDepth depth,
                     uint8_t *out);

// One output file of an export and what became of it.
struct ExportOutput {
    OutputFile file;
    bool opened;      // created: it counts as written or not written at the end
    bool removed;     // the export was cancelled while its take rendered
    bool incomplete;  // the take lost frames (padded with silence)
};

// Starts the output of an export of this many files (closing behind when there are
// several); false, with them counted as not written, when it cannot start (no memory).
bool startExportOutput(OutputWriter &writer, int files, ExportReport &report);
// Waits until everything is written and closed, then counts each created output as
// written or not written.
void finishExportOutput(OutputWriter &writer, ExportOutput *outputs, int count, ExportReport &report);

// The WAV output of an export, between beginOfflineRender and endOfflineRender: a
// file per take (per key and layer, or the chord's per layer). The name in the report
// gets the extension ".wav". A cancel stops after the current block: the file of
// that take is removed, finished files stay.
void writeWavs(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
               ExportReport &report);
// The SFZ output: <name>.sfz and beside it a folder <name> of one WAV per take in the
// chosen format. A cancel keeps the finished samples and writes no .sfz.
void writeSfz(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
              ExportReport &report);

// The ascending list of selected keys; returns their number.
int selectedKeyList(const uint8_t *keySelection, uint8_t *keys);
