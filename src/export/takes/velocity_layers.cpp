#include "export/takes/velocity_layers.h"

int velocityLayers(int velocity, int count, VelocityLayer *layers) {
    if (velocity < 0) velocity = 0;
    if (velocity > 127) velocity = 127;
    if (count < 1) count = 1;
    if (count > kMaxVelocityLayers) count = kMaxVelocityLayers;
    int made = 0;
    for (int i = 1; i <= count; ++i) {
        int v = (velocity * i * 2 + count) / (2 * count);  // round(v x i / n), halves up
        if (count > 1 && (v == 0 || (made && v <= layers[made - 1].velocity))) continue;
        layers[made].velocity = (uint8_t)v;
        layers[made].low = made ? (uint8_t)(layers[made - 1].high + 1) : 0;
        layers[made].high = (uint8_t)v;
        ++made;
    }
    if (made == 0) layers[made++] = VelocityLayer{(uint8_t)velocity, 0, 127};
    layers[made - 1].high = 127;
    return made;
}
