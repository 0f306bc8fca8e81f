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
};

extern EngineState gEngine;

// Entry i of both maps = i mod 2.
void setDefaultChannelMaps();
