#include "audio/engine_state.h"

#include <cstdint>
#include <cstdlib>

EngineState gEngine = {882, 44100, -1, 0, 0, {}, {}, {}, {}, nullptr, nullptr, 0};
EngineBufferClient gEngineBufferClient = {nullptr, nullptr};
const int kOfferedRates[kOfferedRateCount] = {11025, 22050, 32000, 44100, 48000, 64000, 88200, 96000};
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

bool allocateEngineBuffers(int32_t frames) {
    freeEngineBuffers();
    if (frames <= 0) return true;

    bool ok = frames <= kMaxBufferFrames &&
              (!gEngineBufferClient.allocate || gEngineBufferClient.allocate(frames, gEngine.sampleRate));
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
    if (gEngineBufferClient.release) gEngineBufferClient.release();
}
