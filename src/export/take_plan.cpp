#include "export/take_plan.h"

int planTakes(const uint8_t *keys, int selected, bool chord, int velocity, int layers, PlannedTake *out) {
    VelocityLayer layer[kMaxVelocityLayers];
    int layerCount = velocityLayers(velocity, layers, layer);
    int sounds = chord ? 1 : selected;
    int n = 0;
    for (int k = 0; k < sounds; ++k) {
        // Split at the midpoints, the first from 0, the last to 127.
        uint8_t low = k == 0 ? 0 : (uint8_t)(keys[k - 1] + (keys[k] - keys[k - 1]) / 2 + 1);
        uint8_t high = k == sounds - 1 ? 127 : (uint8_t)(keys[k] + (keys[k + 1] - keys[k]) / 2);
        for (int i = 0; i < layerCount; ++i) {
            PlannedTake &t = out[n++];
            t.firstKey = (uint8_t)k;
            t.keyCount = (uint8_t)(chord ? selected : 1);
            t.rootKey = chord ? 60 : keys[k];
            t.lowKey = low;
            t.highKey = high;
            t.layer = layer[i];
            t.layered = layerCount > 1;
        }
    }
    return n;
}
