// What the file types share: a take's frames encoded into a file's bytes, one take as
// a WAV file, the outputs of an export and how they count in its report, and the
// check of the folder before anything is rendered.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/wav_writer.h"
#include "export/formats/output_writer.h"

struct ExportReport;
struct FinishedTake;
struct ExportMemory;

// Encodes frames of a take: stereo interleaved (left first) or, with one channel, the
// mono mix (L + R) / 2, in the depth's encoding. out holds frames x channels x bytes.
void encodeTakeChunk(const float *left, const float *right, int frames, int channels, WavDepth depth,
                     uint8_t *out);

// Which of a take's channels a run of samples carries.
enum TakeSide {
    kBothSides,  // stereo interleaved, left first
    kMonoMix,    // (L + R) / 2
    kLeftSide,
    kRightSide,
};

// The first `frames` frames of the take in the depth's encoding, at the file's end.
// With lowBytes, a 24-bit side (not kBothSides) is split as a SoundFont 2.04 keeps it:
// the upper 16 bits of each point at the file's end, its lowest 8 bits into lowBytes
// (`frames` bytes).
void appendTakeSamples(OutputWriter &writer, OutputFile &file, const FinishedTake &take, TakeSide side,
                       WavDepth depth, uint32_t frames, uint8_t *lowBytes = nullptr);

// Little-endian 24-bit points (3 bytes each) as their upper 16 bits (2 bytes each,
// little-endian) and their lowest 8 bits.
void splitPoints24(const uint8_t *packed, int points, uint8_t *upper, uint8_t *lower);

// One output file of an export and what became of it.
struct ExportOutput {
    OutputFile file;
    bool opened;      // created: it counts as written or not written at the end
    bool removed;     // removed again (a cancelled SoundFont)
    bool incomplete;  // a take of it lost frames (padded with silence): counted as not written
};

// Starts the output of an export of this many files (closing behind when there are
// several); false, with them counted as not written, when it cannot start (no memory).
bool startExportOutput(OutputWriter &writer, int files, ExportMemory *memory, ExportReport &report);
// Waits until everything is written and closed, then counts each created output as
// written or not written (one whose writes failed is gone). Returns how many were not.
int finishExportOutput(OutputWriter &writer, const ExportOutput *outputs, int count, ExportReport &report);

// Creates the file; false, counted as not created with the system's reason, when it
// cannot be.
bool openExportOutput(ExportOutput &out, const char *path, ExportReport &report);

// The round-robin queue of each zone: the zones of one key range and velocity range
// are the variations of one take, numbered in order (seqPosition from 1), each knowing
// their number (seqLength; 0 for a zone alone). Zone has lowKey, highKey, lowVelocity,
// highVelocity, seqLength and seqPosition.
template <typename Zone>
void numberVariations(Zone *zones, int count) {
    for (int i = 0; i < count; ++i) {
        int length = 0, position = 0;
        for (int j = 0; j < count; ++j) {
            const Zone &a = zones[i], &b = zones[j];
            if (a.lowKey != b.lowKey || a.highKey != b.highKey || a.lowVelocity != b.lowVelocity ||
                a.highVelocity != b.highVelocity)
                continue;
            ++length;
            if (j < i) ++position;
        }
        zones[i].seqLength = length > 1 ? length : 0;
        zones[i].seqPosition = position + 1;
    }
}

// What a take's WAV file tells a sampler: its root key, key and velocity ranges and loop.
WavSamplerData takeSamplerData(const FinishedTake &take);

// A take as one WAV file at path: created, header (with the sampler chunks when
// sampler is not null), samples, closed (behind when the writer closes behind). A file
// that cannot be created is counted.
void writeTakeWav(OutputWriter &writer, ExportOutput &out, const char *path, const FinishedTake &take,
                  int channels, WavDepth depth, int32_t rate, const WavSamplerData *sampler, ExportReport &report);

// A set's text file (an .sfz, a .dspreset) of `length` bytes at path, counted in the
// report as written or not.
void writeSetText(const char *path, const char *text, size_t length, ExportMemory *memory, ExportReport &report);

// Whether files can be made in the folder `path` names (up to its last separator):
// false, with the system's error code, when the folder does not exist (nothing is
// rendered for files that would fail there).
bool folderExists(const char *path, unsigned long *error);
