// The SoundFont 2.01 output of an export: every take as 16-bit samples, one
// instrument mapping them across the keyboard, one preset playing it. Written front
// to back while the takes render; four sizes are patched at the end.
#pragma once

#include <cstddef>
#include <cstdint>

struct ExportSettings;
struct OfflineRender;
struct ExportReport;

const uint32_t kSampleGuardPoints = 46;  // zero points after every sample
const size_t kSoundFontHeadSize = 120;   // the fixed part up to and including the smpl size
const int kPresetNameLength = 19;

// Sizes of a SoundFont with `samples` samples (takes x channels) of `frames` points.
struct SoundFontLayout {
    uint64_t stride;     // frames + 46 points
    uint64_t smplSize;   // samples x 2 x stride
    uint64_t sdtaSize;   // 12 + smpl size
    uint64_t pdtaOffset; // position of the pdta "LIST"
    uint64_t pdtaSize;   // from "pdta" to the end of the file
    uint64_t fileSize;
    bool fits() const { return fileSize - 8 <= 0xFFFFFFFFu; }
};

SoundFontLayout soundFontLayout(int samples, uint32_t frames);

// Key ranges of n takes from the n + 1 take keys (entry n is 127): split at the
// midpoints, the first from 0, the last to 127.
void soundFontKeyRanges(const uint8_t *takeKeys, int n, uint8_t *low, uint8_t *high);

// The fixed part (kSoundFontHeadSize bytes) with the smpl size and the three list
// sizes and the RIFF size still 0.
void buildSoundFontHead(uint8_t *out, uint32_t smplSize);

// What the pdta list describes.
struct SoundFontTakes {
    const uint8_t *takeKeys;  // n + 1 entries
    int takes;                // n
    int channels;             // 1 or 2
    bool chord;               // root key 60 instead of the take's key
    uint32_t frames;          // points per sample
    int32_t rate;
    const char *presetName;   // cut to 19 characters
};

// Bytes of the whole pdta list, "LIST" header included.
size_t pdtaListBytes(int samples);
// Fills out (pdtaListBytes bytes) with the pdta list.
void buildPdtaList(uint8_t *out, const SoundFontTakes &takes);

// Renders every take and writes the SoundFont; the name in the report gets the
// extension ".sf2".
void writeSoundFont(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
                    ExportReport &report);
