// A hand-made plugin object whose dispatcher records every call, for tests that
// need no module.
#pragma once

#include <cstring>
#include <vector>

#include "plugin/vst2.h"

struct DispatchCall {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void *ptr;
    float opt;
};

struct FakePlugin {
    AEffect effect;
    std::vector<DispatchCall> calls;
    VstIntPtr idleResult = 0;  // answer to effIdle
    bool giveRect = true;      // answer effEditGetRect with the rectangle below
    ERect rect = {0, 0, 300, 400};

    explicit FakePlugin(VstInt32 flags = 0) {
        memset(&effect, 0, sizeof effect);
        effect.magic = kEffectMagic;
        effect.dispatcher = &FakePlugin::dispatcher;
        effect.flags = flags;
        effect.object = this;
    }

    std::vector<VstInt32> opcodes() const {
        std::vector<VstInt32> result;
        for (const DispatchCall &c : calls) result.push_back(c.opcode);
        return result;
    }

    int count(VstInt32 opcode) const {
        int n = 0;
        for (const DispatchCall &c : calls) n += c.opcode == opcode;
        return n;
    }

    static VstIntPtr VSTCALLBACK dispatcher(AEffect *e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                            void *ptr, float opt) {
        FakePlugin *self = static_cast<FakePlugin *>(e->object);
        self->calls.push_back({opcode, index, value, ptr, opt});
        if (opcode == effIdle) return self->idleResult;
        if (opcode == effEditGetRect && ptr != nullptr) {
            *static_cast<ERect **>(ptr) = self->giveRect ? &self->rect : nullptr;
            return self->giveRect ? 1 : 0;
        }
        return 0;
    }
};
