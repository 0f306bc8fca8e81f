#include "audio/engine_state.h"

EngineState gEngine = {882, 44100, -1, 0, 0, {}, {}, {}, {}, nullptr, nullptr, {}, {}};

void setDefaultChannelMaps() {
    for (int i = 0; i < kMaxChannels; ++i) {
        gEngine.inMap[i] = i % 2;
        gEngine.outMap[i] = i % 2;
    }
}
