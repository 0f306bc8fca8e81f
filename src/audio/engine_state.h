// The engine state: block size, rate, driver choice, channel maps and the float
// buffers that carry audio between the buffer switch and the block processing.
#pragma once

#include <windows.h>

#include <cstdint>

const int kMaxChannels = 128;
// The capture ring never has fewer slots than this, and enough to hold
// kCaptureRingMs of audio at the engine's rate (see captureSlotCount).
const int kCaptureSlots = 8;
const int kCaptureRingMs = 500;
const int kMaxCaptureSlots = 1 << 16;

// One slot of the capture ring. state: kSlotFree, kSlotFull (holds a block not yet
// written) or kSlotWriting (the capture writer is writing it). Only the capture
// tap moves a slot out of kSlotFree or takes a full slot back (overwriting it);
// only the writer moves kSlotFull to kSlotWriting and kSlotWriting to kSlotFree.
const LONG kSlotFree = 0;
const LONG kSlotFull = 1;
const LONG kSlotWriting = 2;
struct CaptureSlot {
    volatile LONG state;
    volatile ULONG stamp;   // block counter of the block in the slot
    volatile LONG frames;   // frames in the slot's two blocks
};

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
    // The capture ring: captureSlotCount slots, each with a left and a right block
    // of bufferFrames floats (not cleared on allocation).
    int32_t captureSlotCount;
    float **captureLeft;
    float **captureRight;
    CaptureSlot *captureSlots;
    uint64_t *captureOrder;  // the writer's scratch list, one entry per slot
    int32_t bufferFrames;   // floats in each engine buffer; 0 while none are allocated
};

extern EngineState gEngine;

// The name of the chosen driver while it is not installed (the driver index is then
// -1), "" otherwise: it stays the choice, and is stored again, until another is picked.
const int kDriverNameSize = 128;
extern char gMissingDriver[kDriverNameSize];

// Entry i of both maps = i mod 2.
void setDefaultChannelMaps();

// Slots the capture ring needs for blocks of this many frames at this rate: enough
// for kCaptureRingMs of audio, never fewer than kCaptureSlots.
int32_t captureSlotCount(int32_t sampleRate, int32_t frames);

// Bytes of the one block holding every slot's two blocks of this many frames; 0
// (refused) past kMaxCaptureRingBytes, which no sane rate and block size reach.
const uint64_t kMaxCaptureRingBytes = 256ull << 20;
uint64_t captureRingBytes(int32_t slots, int32_t frames);

// Frees the engine buffers, then (unless frames is 0) allocates the capture ring
// (captureSlotCount slots at the engine's rate, all free), one buffer per engine
// input and output, the silence and the discard buffer, frames floats each, and clips both maps to the engine counts. Returns
// false when an allocation failed; everything is freed again then.
// GUI thread, engine gate closed.
bool allocateEngineBuffers(int32_t frames);
void freeEngineBuffers();

// Every map entry that names a driver channel at or beyond the count, or lies
// below -1 (only a damaged stored map holds those), becomes -1.
void clipChannelMap(volatile int32_t *map, int32_t count);

