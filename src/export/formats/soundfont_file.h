// The layout of an export's SoundFont file: every take as 16-bit samples (SoundFont
// 2.01), or as 24-bit ones with the lowest 8 bits of each point in an sm24 chunk after
// the smpl chunk (SoundFont 2.04); one instrument mapping them across the keyboard, one
// preset playing it. The fixed head, the sample data front to back, then the pdta
// list; four sizes in the head and the list's own are known only at the end. Pure
// functions over byte buffers.
#pragma once

#include <cstddef>
#include <cstdint>

// A SoundFont counts sample data in points: the frames of one channel's sample.
const uint32_t kSampleGuardPoints = 46;  // zero points after every sample
const size_t kSoundFontHeadSize = 120;   // the fixed part up to and including the smpl size
// Positions of the fixed part's size fields.
const uint64_t kRiffSizeAt = 4;
const uint64_t kInfoSizeAt = 16;
const uint64_t kSdtaSizeAt = 104;
const uint64_t kSmplSizeAt = 116;
const int kPresetNameLength = 19;

// Sizes of a SoundFont with `samples` samples (takes x channels) of at most `frames`
// points, `looped` of them with a loop (two more generators in their zones) and
// `curved` of them with their layer's velocity curve (three modulators in their zones).
struct SoundFontLayout {
    uint64_t stride;     // frames + 46 points
    uint64_t smplSize;   // samples x 2 x stride
    uint64_t sm24Size;   // 24-bit: samples x stride, made even (0: no sm24 chunk)
    uint64_t sdtaSize;   // 12 + smpl size, and 8 + sm24 size when there is one
    uint64_t pdtaOffset; // position of the pdta "LIST"
    uint64_t pdtaSize;   // from "pdta" to the end of the file
    uint64_t fileSize;
    bool fits() const { return fileSize - 8 <= 0xFFFFFFFFu; }
};

SoundFontLayout soundFontLayout(int samples, uint32_t frames, int looped = 0, int curved = 0, bool deep = false);
// The sm24 chunk's size for a smpl chunk of smplSize bytes: one byte a point, made even
// (the pad byte counted, as the readers expect).
uint64_t sm24ChunkSize(uint64_t smplSize);

// The fixed part (kSoundFontHeadSize bytes) with the smpl size and the three list
// sizes and the RIFF size still 0; deep: version 2.04, whose sm24 chunk the samples'
// lowest 8 bits follow in.
void buildSoundFontHead(uint8_t *out, uint32_t smplSize, bool deep = false);

// One take as the SoundFont maps it (its one or two samples).
struct SoundFontTake {
    uint8_t rootKey;
    uint8_t lowKey, highKey;
    uint8_t lowVelocity, highVelocity;
    uint8_t layerVelocity;        // the velocity it was rendered at, named in the samples'
                                  // names; 0 with one layer
    uint32_t frames;              // points of each of its samples
    bool looped;                  // loops while the key is held, then plays on to its end
    uint32_t loopStart, loopEnd;  // within the sample: plays loopStart ... loopEnd - 1
    int tuningCents;              // the sample sounds this far above its root key
    float levelDb;                // of its held part (NaN: not measured)
    float velocitySlopeDb;        // with layers: dB its level falls per velocity step below highVelocity
};

// What the pdta list describes: the takes' samples lie one after the other in the
// smpl chunk, each followed by 46 zero points, the right sample after the left.
struct SoundFontTakes {
    const SoundFontTake *list;
    int takes;
    int channels;             // 1 or 2
    int32_t rate;
    const char *presetName;   // cut to 19 characters
    int releaseMs;            // the looped zones' volume-envelope release
    // More than one velocity layer: every zone carries its layer's velocity curve (see
    // velocitySlopeDb) in place of the players' default one.
    bool layered;
};

// Bytes of the whole pdta list, "LIST" header included.
size_t pdtaListBytes(int samples, int looped = 0, int curved = 0);
// Fills out (pdtaListBytes bytes) with the pdta list.
void buildPdtaList(uint8_t *out, const SoundFontTakes &takes);
// A release time as the timecents of the volume envelope's release, within the
// format's -12000 (about 1 ms, also for 0) ... 8000.
int16_t releaseTimecents(int releaseMs);
