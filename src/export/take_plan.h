// The takes of an export: which keys each plays and at which velocity, and which keys
// and velocities its sample answers to. Every file type renders the same plan.
#pragma once

#include <cstdint>

#include "export/velocity_layers.h"
#include "midi/midi_keys.h"

const int kMaxTakes = kKeyCount * kMaxVelocityLayers;

struct PlannedTake {
    uint8_t firstKey;   // index of the first key played in the selected-key list
    uint8_t keyCount;   // keys played: 1, or every selected key for a chord
    uint8_t rootKey;    // the key its sample sounds at (a chord's: 60)
    uint8_t lowKey, highKey;
    VelocityLayer layer;
    bool layered;       // the export has more than one layer: names carry the velocity
};

// The takes of `selected` keys (ascending), key by key and within a key layer by
// layer: one take per key and layer, or for a chord one per layer playing every key.
// Key ranges split at the midpoints between the keys (a chord's covers 0 ... 127).
// out holds kMaxTakes; returns the number of takes.
int planTakes(const uint8_t *keys, int selected, bool chord, int velocity, int layers, PlannedTake *out);
