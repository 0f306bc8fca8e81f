#include "export/takes/take_plan.h"

#include <cstdio>

namespace {

const char *const kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

}  // namespace

int planTakes(const uint8_t *keys, int selected, bool chord, int velocity, int layers, PlannedTake *out,
              int variations) {
    VelocityLayer layer[kMaxVelocityLayers];
    if (selected <= 0) return 0;
    if (variations < 1) variations = 1;
    if (variations > kMaxVariations) variations = kMaxVariations;
    int layerCount = velocityLayers(velocity, layers, layer);
    int sounds = chord ? 1 : selected;
    int n = 0;
    for (int k = 0; k < sounds; ++k) {
        // Split at the midpoints, the first from 0, the last to 127.
        uint8_t low = k == 0 ? 0 : (uint8_t)(keys[k - 1] + (keys[k] - keys[k - 1]) / 2 + 1);
        uint8_t high = k == sounds - 1 ? 127 : (uint8_t)(keys[k] + (keys[k + 1] - keys[k]) / 2);
        for (int i = 0; i < layerCount; ++i) {
            for (int v = 0; v < variations; ++v) {
                PlannedTake &t = out[n++];
                t.keyIndex = (uint8_t)k;
                t.keyCount = (uint8_t)(chord ? selected : 1);
                t.rootKey = chord ? 60 : keys[k];
                t.lowKey = low;
                t.highKey = high;
                t.layer = layer[i];
                t.layerIndex = (uint8_t)i;
                t.variation = (uint8_t)v;
                t.layered = layerCount > 1;
                t.namedKey = (int16_t)(chord ? -1 : keys[k]);
                t.namedVelocity = (int16_t)(t.layered ? layer[i].velocity : -1);
                t.namedVariation = (int16_t)(v > 0 ? v + 1 : -1);
            }
        }
    }
    return n;
}

void planExport(const ExportSettings &settings, const uint8_t *keySelection, ExportPlan &plan) {
    plan.keyCount = 0;
    for (int k = 0; k < kKeyCount; ++k)
        if (keySelection[k]) plan.keys[plan.keyCount++] = (uint8_t)k;
    plan.chord = settings.mode == kExportChord;
    plan.timing = exportTiming(settings.rateIndex, settings.holdMs, settings.releaseMs);
    plan.channels = settings.channelMode == kExportMono ? 1 : 2;
    plan.midiChannel = settings.midiChannel & 0x0F;
    // A SoundFont has no way to alternate takes: it gets the first of each.
    plan.variations = settings.fileType == kExportSoundFont ? 1 : settings.variations;
    if (plan.variations < 1) plan.variations = 1;
    if (plan.variations > kMaxVariations) plan.variations = kMaxVariations;
    plan.takeCount = planTakes(plan.keys, plan.keyCount, plan.chord, settings.velocity, settings.layers, plan.takes,
                               plan.variations);
    plan.layerCount = 0;
    for (int i = 0; i < plan.takeCount; ++i)
        if (plan.takes[i].layerIndex >= plan.layerCount) plan.layerCount = plan.takes[i].layerIndex + 1;
}

void noteName(int key, char *out, size_t size) {
    int k = key & 0x7F;
    snprintf(out, size, "%s%d", kNoteNames[k % 12], k / 12 - 2);
}
