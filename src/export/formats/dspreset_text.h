// The Decent Sampler preset of an export (.dspreset, XML): one group per velocity
// layer, one sample per take naming its WAV file relative to the preset, with its root
// key, key and velocity ranges and loop, and the set's release in the envelope.
#pragma once

#include <cstddef>
#include <cstdint>

struct DsSample {
    const char *path;  // UTF-8, relative to the preset, '/' as separator
    uint8_t rootKey, lowKey, highKey;
    uint8_t lowVelocity, highVelocity;
    uint8_t layerIndex;  // its group
    bool looped;
    uint32_t loopStart, loopEnd;  // the loop plays loopStart ... loopEnd - 1
    int tuningCents;              // the sample sounds this far above its root key
    int seqLength, seqPosition;   // a round-robin queue (seqLength 0: none)
    float levelDb;                // of its held part (NaN: not measured)
    float velocitySlopeDb;        // with layers: dB its level falls per velocity step below highVelocity
};

// With more than one layer each group follows its layer's velocity curve (the mean
// of its samples' slopes) through the velocity tracking Decent Sampler has: the gain
// 1 - t + t v / 127 for a tracking t, with the group's volume bringing the layer's top
// back to 1. The tracking is chosen so that the layer's bottom (the layer below's
// top, or velocity 0 for the softest) lies as far below its top as the curve says.
struct DsGroupCurve {
    float ampVelTrack;  // 0 ... 1
    float volumeDb;     // 0 or more
};
DsGroupCurve dsGroupCurve(int lowVelocity, int highVelocity, float slopeDb);

// The whole preset for these samples in `layers` groups, into out (room for size).
// Returns the length written (without the terminator), 0 when out is too small or a
// path holds a character XML cannot carry (a control character).
size_t formatDsPreset(char *out, size_t size, const DsSample *samples, int count, int layers, int releaseMs);
// Room formatDsPreset needs at most for count samples.
size_t dsPresetRoom(int count, int layers);
