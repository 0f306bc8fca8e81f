// The plan of an export, made once before anything renders: its keys, its timing and
// its takes, each with the keys it plays, the velocity it is rendered at, the key and
// velocity ranges its sample answers to and the parts of its name. Every file type
// receives the same takes in the plan's order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "export/takes/export_choices.h"
#include "export/takes/export_timing.h"
#include "export/takes/velocity_layers.h"
#include "midi/midi_keys.h"

const int kMaxVariations = 4;  // takes of each key and layer, for players that alternate them
const int kMaxTakes = kKeyCount * kMaxVelocityLayers * kMaxVariations;

struct PlannedTake {
    uint8_t keyIndex;   // where its keys start in the plan's list of selected keys
    uint8_t keyCount;   // keys played: 1, or every selected key for a chord
    uint8_t rootKey;    // the key its sample sounds at (a chord's: 60)
    uint8_t lowKey, highKey;
    VelocityLayer layer;  // rendered at layer.velocity, answers to layer.low ... layer.high
    uint8_t layerIndex;   // 0 for the softest layer
    uint8_t variation;    // 0 for the first take of its key and layer
    bool layered;         // the export has more than one layer
    // Its name's parts: the key (-1: none, a chord's), the velocity (-1: none, with one
    // layer) and the variation (-1: none, the first), as in "<name>_C3_v64_rr2.wav".
    int16_t namedKey, namedVelocity, namedVariation;
};

struct ExportPlan {
    uint8_t keys[kKeyCount];  // the selected keys, ascending
    int keyCount;
    bool chord;
    ExportTiming timing;
    int channels;     // of the files: 1 mono, 2 stereo
    int midiChannel;  // 0 ... 15
    int layerCount;   // velocity layers of every key
    int variations;   // takes of each key and layer: 1 ... 4 (a SoundFont, which cannot alternate them: 1)
    int takeCount;
    PlannedTake takes[kMaxTakes];
};

// The takes of `selected` keys (ascending), key by key, within a key layer by layer,
// within a layer its variations in a row: one take per key, layer and variation, or
// for a chord one per layer and variation playing every key. Key ranges split at the
// midpoints between the keys (a chord's covers 0 ... 127). out holds kMaxTakes;
// returns the number of takes.
int planTakes(const uint8_t *keys, int selected, bool chord, int velocity, int layers, PlannedTake *out,
              int variations = 1);

// The whole plan of an export of these settings and the kKeyCount key flags.
void planExport(const ExportSettings &settings, const uint8_t *keySelection, ExportPlan &plan);

// The keys a take plays.
inline const uint8_t *takeKeys(const ExportPlan &plan, const PlannedTake &take) { return plan.keys + take.keyIndex; }

// "C", "C#", ... by key mod 12 with octave key div 12 - 2: key 60 is "C3".
void noteName(int key, char *out, size_t size);
