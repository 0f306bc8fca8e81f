// Velocity layers of an export: which velocities the takes are rendered at and
// which velocities each layer answers to.
#pragma once

#include <cstdint>

const int kMaxVelocityLayers = 8;

struct VelocityLayer {
    uint8_t velocity;  // the takes of this layer are rendered at it
    uint8_t low;       // the velocities it answers to, low ... high
    uint8_t high;
};

// With n layers (1 ... 8) and the dialog's velocity v, layer i (1 ... n) is rendered
// at round(v x i / n) and covers the velocities from the previous layer's top + 1
// (0 for the first) up to its own, the last up to 127. A layer whose velocity is 0
// (a note-off) or no higher than the previous one's is left out. Returns the number
// of layers written into layers (at least 1: a single layer renders at v and covers
// 0 ... 127).
int velocityLayers(int velocity, int count, VelocityLayer *layers);

// The velocity curve of each zone of a layered set, so that a key played at its
// layer's top velocity sounds at the level the layer was recorded at, and softer
// velocities inside the layer fall in a straight line (in dB) toward the level of
// the layer below, reached at that layer's top. The fall is none when the layer below
// is as loud or louder; the softest layer goes on falling as steeply as the one above
// it; a layer of unmeasured level (NaN) stays flat. The zones of one key share its key
// range, a layer's its velocity range; variations share their first zone's level.
// Zone has lowKey, highKey, lowVelocity, highVelocity and levelDb; its velocitySlopeDb
// is set: dB per velocity step below highVelocity, at most kMaxLayerFallDb over the
// layer.
const float kMaxLayerFallDb = 96.0f;

template <typename Zone>
void levelVelocityCurves(Zone *zones, int count) {
    // The first zone of the same key range whose velocities start at `low`, or -1.
    auto find = [&](const Zone &of, int low) {
        for (int j = 0; j < count; ++j)
            if (zones[j].lowKey == of.lowKey && zones[j].highKey == of.highKey && zones[j].lowVelocity == low)
                return j;
        return -1;
    };
    // The fall per step from the zone at `top` down to the level of the one below it.
    auto slope = [&](int top) {
        const Zone &z = zones[top];
        int below = -1;
        for (int j = 0; j < count && below < 0; ++j)
            if (zones[j].lowKey == z.lowKey && zones[j].highKey == z.highKey && zones[j].highVelocity + 1 == z.lowVelocity)
                below = j;
        if (below < 0) return 0.0f;
        const float fall = zones[top].levelDb - zones[below].levelDb;  // NaN compares false
        const int steps = z.highVelocity - zones[below].highVelocity;
        if (!(fall > 0.0f) || steps <= 0) return 0.0f;
        return (fall < kMaxLayerFallDb ? fall : kMaxLayerFallDb) / (float)steps;
    };
    for (int i = 0; i < count; ++i) {
        Zone &z = zones[i];
        const int own = find(z, z.lowVelocity);
        float s = slope(own);
        if (z.lowVelocity == 0 && z.highVelocity < 127) {
            const int above = find(z, z.highVelocity + 1);
            s = above >= 0 ? slope(above) : 0.0f;
            if (s * (float)z.highVelocity > kMaxLayerFallDb) s = kMaxLayerFallDb / (float)z.highVelocity;
        }
        z.velocitySlopeDb = s;
    }
}
