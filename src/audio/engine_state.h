// The engine state: block size, rate, driver choice, channel maps and the float
// buffers that carry audio between the buffer switch and the block processing.
#pragma once

#include <windows.h>

#include <cstdint>

const int kMaxChannels = 128;

// The sample rates the program offers, live and for an export.
const int kOfferedRateCount = 8;
extern const int kOfferedRates[kOfferedRateCount];
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
    int32_t bufferFrames;   // floats in each engine buffer; 0 while none are allocated
};

extern EngineState gEngine;

// The name of the chosen driver while it is not installed (the driver index is then
// -1), "" otherwise: it stays the choice, and is stored again, until another is picked.
const int kDriverNameSize = 128;
extern char gMissingDriver[kDriverNameSize];

// Entry i of both maps = i mod 2.
void setDefaultChannelMaps();

// Buffers that the layers above size with the engine's (the capture ring), handed
// in at start-up; unset, only the engine buffers are sized. allocate gets the
// frames of each engine buffer and the engine's rate and returns false when it could
// not allocate; release frees what allocate made (and is harmless without it).
struct EngineBufferClient {
    bool (*allocate)(int32_t frames, int32_t sampleRate);
    void (*release)();
};
extern EngineBufferClient gEngineBufferClient;

// Frees the engine buffers, then (unless frames is 0) allocates the client's buffers,
// one buffer per engine input and output, the silence and the discard buffer, frames
// floats each, and clips both maps to the engine counts. Returns false when an
// allocation failed; everything is freed again then.
// GUI thread, engine gate closed.
bool allocateEngineBuffers(int32_t frames);
void freeEngineBuffers();

// Every map entry that names a driver channel at or beyond the count, or lies
// below -1 (only a damaged stored map holds those), becomes -1.
void clipChannelMap(volatile int32_t *map, int32_t count);

// OutMap entries in use for a plugin with this many outputs: one per output, at most
// kMaxChannels; a single output has two, its left side (entry 0) and its right side
// (entry 1), so by default it is heard on the first two driver outputs.
inline int outMapEntries(int pluginOutputs) {
    if (pluginOutputs < 0) return 0;
    if (pluginOutputs == 1) return 2;
    return pluginOutputs > kMaxChannels ? kMaxChannels : pluginOutputs;
}

