// The SFZ text of an export: one region per take, naming its WAV file relative to
// the .sfz, with the key and velocity ranges, root key, release and sustain loop
// the SoundFont of the same export carries.
#pragma once

#include <cstddef>
#include <cstdint>

struct SfzRegion {
    const char *sample;  // path relative to the .sfz, '/' as separator
    uint8_t lowKey, highKey, rootKey;
    uint8_t lowVelocity, highVelocity;
    bool looped;
    uint32_t loopStart, loopEnd;  // the loop plays loopStart ... loopEnd - 1
    int tuningCents;              // the sample sounds this far above its root key
    int seqLength, seqPosition;   // a round-robin queue (seqLength 0: none)
    float levelDb;                // of its held part (NaN: not measured)
    // With layers (curved), its layer's velocity curve: dB its level falls per velocity
    // step below highVelocity, written as amp_velcurve_N points down to the top of the
    // layer below; without, the players' default curve.
    bool curved;
    float velocitySlopeDb;
};

// The file's opening: a comment naming the program and the release of every region
// (ampeg_release, seconds). Returns the length written (without the terminator), or
// 0 when out is too small.
size_t formatSfzHead(char *out, size_t size, int releaseMs);

// Room formatSfzRegion needs at most, besides the sample's name.
const size_t kSfzRegionRoom = 640;

// One region on one line, ending in a new line. Returns the length written, or 0
// when out is too small. A sample name with a character SFZ cannot carry on a line
// (a control character) gives 0 too.
size_t formatSfzRegion(char *out, size_t size, const SfzRegion &region);
