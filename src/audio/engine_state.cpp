#include "audio/engine_state.h"

#include <cstdint>
#include <cstdlib>

#include "engine/capture_files.h"

EngineState gEngine = {882, 44100, -1, 0, 0, {}, {}, {}, {}, nullptr, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0};
char gMissingDriver[kDriverNameSize] = "";

void setDefaultChannelMaps() {
    for (int i = 0; i < kMaxChannels; ++i) {
        gEngine.inMap[i] = i % 2;
        gEngine.outMap[i] = i % 2;
    }
}

namespace {

// More frames than any driver block: a size like this is a driver's fault, and its
// byte count could wrap in 32-bit code.
const int32_t kMaxBufferFrames = 1 << 20;

float *allocateFloats(int32_t frames, bool cleared) {
    if (frames <= 0 || frames > kMaxBufferFrames) return nullptr;
    size_t bytes = size_t(frames) * sizeof(float);
    return static_cast<float *>(cleared ? std::calloc(1, bytes) : std::malloc(bytes));
}

void release(float *&buffer) {
    std::free(buffer);
    buffer = nullptr;
}

int32_t boundedCount(int32_t count) {
    if (count < 0) return 0;
    return count > kMaxChannels ? kMaxChannels : count;
}

}  // namespace

void clipChannelMap(volatile int32_t *map, int32_t count) {
    for (int i = 0; i < kMaxChannels; ++i) {
        int32_t entry = map[i];
        if (entry >= count || entry < -1) map[i] = -1;
    }
}

int32_t captureSlotCount(int32_t sampleRate, int32_t frames) {
    if (frames <= 0 || sampleRate <= 0) return kCaptureSlots;
    int64_t wanted = ((int64_t)sampleRate * kCaptureRingMs / 1000 + frames - 1) / frames;
    if (wanted < kCaptureSlots) return kCaptureSlots;
    return wanted > kMaxCaptureSlots ? kMaxCaptureSlots : (int32_t)wanted;
}

uint64_t captureRingBytes(int32_t slots, int32_t frames) {
    if (slots <= 0 || frames <= 0) return 0;
    uint64_t bytes = (uint64_t)slots * 2 * (uint64_t)frames * sizeof(float);
    static_assert(kMaxCaptureRingBytes <= SIZE_MAX, "the ring's size fits a size_t");
    return bytes > kMaxCaptureRingBytes ? 0 : bytes;
}

namespace {

// The ring in four allocations: the slot records (cleared: all free), the two
// pointer lists, and one block of memory for every slot's two blocks.
bool allocateCaptureRing(int32_t frames) {
    int32_t slots = captureSlotCount(gEngine.sampleRate, frames);
    uint64_t ringBytes = captureRingBytes(slots, frames);
    if (!ringBytes) return false;  // a driver's absurd rate or block size
    gEngine.captureSlots = static_cast<CaptureSlot *>(std::calloc((size_t)slots, sizeof(CaptureSlot)));
    gEngine.captureOrder = static_cast<uint64_t *>(std::malloc((size_t)slots * sizeof(uint64_t)));
    gEngine.captureLeft = static_cast<float **>(std::calloc((size_t)slots * 2, sizeof(float *)));
    float *blocks = static_cast<float *>(std::malloc((size_t)ringBytes));
    if (!gEngine.captureSlots || !gEngine.captureOrder || !gEngine.captureLeft || !blocks) {
        std::free(blocks);
        return false;
    }
    gEngine.captureRight = gEngine.captureLeft + slots;
    for (int32_t s = 0; s < slots; ++s) {
        gEngine.captureLeft[s] = blocks + (size_t)s * 2 * (size_t)frames;
        gEngine.captureRight[s] = gEngine.captureLeft[s] + frames;
    }
    gEngine.captureSlotCount = slots;
    return true;
}

void freeCaptureRing() {
    // Blocks a recording had not yet written are lost with the ring.
    if (gEngine.captureSlots) countDiscardedCaptureBlocks(gEngine.captureSlots, gEngine.captureSlotCount);
    gEngine.captureSlotCount = 0;
    if (gEngine.captureLeft) std::free(gEngine.captureLeft[0]);
    std::free(gEngine.captureLeft);
    std::free(gEngine.captureSlots);
    std::free(gEngine.captureOrder);
    gEngine.captureLeft = gEngine.captureRight = nullptr;
    gEngine.captureSlots = nullptr;
    gEngine.captureOrder = nullptr;
}

}  // namespace

bool allocateEngineBuffers(int32_t frames) {
    freeEngineBuffers();
    if (frames <= 0) return true;

    bool ok = frames <= kMaxBufferFrames && allocateCaptureRing(frames);
    const int32_t inputs = boundedCount(gEngine.inputCount);
    const int32_t outputs = boundedCount(gEngine.outputCount);
    for (int i = 0; i < inputs; ++i) ok = (gEngine.inputs[i] = allocateFloats(frames, true)) && ok;
    for (int i = 0; i < outputs; ++i) ok = (gEngine.outputs[i] = allocateFloats(frames, true)) && ok;

    clipChannelMap(gEngine.inMap, inputs);
    clipChannelMap(gEngine.outMap, outputs);

    gEngine.silence = allocateFloats(frames, true);
    gEngine.discard = allocateFloats(frames, true);
    ok = ok && gEngine.silence && gEngine.discard;

    if (!ok) {
        freeEngineBuffers();
        return false;
    }
    gEngine.bufferFrames = frames;
    return true;
}

void freeEngineBuffers() {
    gEngine.bufferFrames = 0;
    for (int i = 0; i < kMaxChannels; ++i) {
        release(gEngine.inputs[i]);
        release(gEngine.outputs[i]);
    }
    release(gEngine.silence);
    release(gEngine.discard);
    freeCaptureRing();
}
