// The engine state: block size, rate, driver choice, channel maps and the float
// buffers that carry audio between the buffer switch and the block processing.
#pragma once

#include <cstdint>

const int kMaxChannels = 128;
const int kCaptureSlots = 8;

struct EngineState {
    int32_t blockSize;      // frames; 882 until a driver has opened
    int32_t sampleRate;     // Hz
    int32_t driverIndex;    // position in the process-wide driver list; -1 = none
    int32_t inputCount;     // driver input channels in use
    int32_t outputCount;    // driver output channels in use
    volatile int32_t inMap[kMaxChannels];   // plugin input -> driver input, -1 = none
    volatile int32_t outMap[kMaxChannels];  // plugin output -> driver output, -1 = none
    float *inputs[kMaxChannels];
    float *outputs[kMaxChannels];
    float *silence;
    float *discard;
    float *captureLeft[kCaptureSlots];
    float *captureRight[kCaptureSlots];
    int32_t bufferFrames;   // floats in each engine buffer; 0 while none are allocated
};

extern EngineState gEngine;

// Entry i of both maps = i mod 2.
void setDefaultChannelMaps();

// Frees the engine buffers, then (unless frames is 0) allocates the 16 capture
// blocks, one buffer per engine input and output, the silence and the discard
// buffer, frames floats each, and clips both maps to the engine counts. Returns
// false when an allocation failed; everything is freed again then.
// GUI thread, engine gate closed.
bool allocateEngineBuffers(int32_t frames);
void freeEngineBuffers();

// Every map entry that names a driver channel at or beyond the count, or lies
// below -1 (only a damaged stored map holds those), becomes -1.
void clipChannelMap(volatile int32_t *map, int32_t count);

