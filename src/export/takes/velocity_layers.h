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
