// Real-time code. Everything in runBufferSwitch runs on the driver's callback
// thread and keeps to this contract: no allocation, no waiting, no locks other
// than the engine gate's interlocked counter, no logging, and no system calls
// other than the interlocked gate operations and the driver's outputReady (the
// block processing adds its own clock readings and file reads). Everything it
// reads from the driver-info record, the converters and the engine buffers is
// replaced only while the engine gate is closed; the channel maps may change
// under it one aligned 32-bit entry at a time, so each entry is read once and
// checked before it is used.
#include "audio/buffer_switch.h"

#include <cstring>

ChannelConverters gChannelConverters = {};
volatile LONG gDriverResetRequest = 0;
volatile LONG gPendingSampleRate = 0;

namespace {

long boundedCount(long count) {
    if (count < 0) return 0;
    return count > kMaxChannels ? kMaxChannels : count;
}

int framesOf(const DriverInfo &info) {
    return info.bufferPreferredSize > 0 ? int(info.bufferPreferredSize) : 0;
}

int pluginCount(VstInt32 count) {
    if (count < 0) return 0;
    return count > kMaxChannels ? kMaxChannels : int(count);
}

// Marks the driver channels (below count) that some plugin channel is routed to.
void markRouted(const volatile int32_t *map, int pluginChannels, long count, bool *routed) {
    for (int k = 0; k < pluginChannels; ++k) {
        int32_t channel = map[k];
        if (channel >= 0 && channel < count) routed[channel] = true;
    }
}

void convertInputs(const DriverInfo &info, const ChannelConverters &c, const EngineState &engine,
                   int pluginInputs, long half, int frames) {
    bool used[kMaxChannels] = {};
    markRouted(engine.inMap, pluginInputs, c.inputCount, used);
    for (long i = 0; i < c.inputCount; ++i) {
        if (!used[i] || !c.input[i] || i >= engine.inputCount) continue;
        const void *source = info.bufferInfos[i].buffers[half];
        float *destination = engine.inputs[i];
        if (source && destination) c.input[i](source, destination, frames);
    }
}

void convertOutputs(const DriverInfo &info, const ChannelConverters &c, const EngineState &engine,
                    int pluginOutputs, long half, int frames) {
    bool routed[kMaxChannels] = {};
    markRouted(engine.outMap, pluginOutputs, c.outputCount, routed);
    for (long j = 0; j < c.outputCount; ++j) {
        void *destination = info.bufferInfos[c.inputCount + j].buffers[half];
        if (!destination) continue;
        if (!routed[j]) {
            std::memset(destination, 0, size_t(frames) * c.outputBytes[j]);
        } else if (c.output[j]) {
            const float *source = j < engine.outputCount ? engine.outputs[j] : nullptr;
            if (source)
                c.output[j](source, destination, frames);
            else
                std::memset(destination, 0, size_t(frames) * c.outputBytes[j]);
        }
    }
}

}  // namespace

void prepareChannelConverters(const DriverInfo &info, ChannelConverters *converters) {
    ChannelConverters &c = *converters;
    c = ChannelConverters();
    c.inputCount = boundedCount(info.inputBuffers);
    c.outputCount = boundedCount(info.outputBuffers);
    for (long i = 0; i < c.inputCount; ++i) c.input[i] = inputConverterFor(info.channelInfos[i].type);
    for (long j = 0; j < c.outputCount; ++j) {
        long type = info.channelInfos[c.inputCount + j].type;
        c.output[j] = outputConverterFor(type);
        c.outputBytes[j] = bytesPerSample(type);
    }
}

void clearOutputHalf(const DriverInfo &info, const ChannelConverters &c, long half) {
    const long h = half ? 1 : 0;
    const size_t frames = size_t(framesOf(info));
    for (long j = 0; j < c.outputCount; ++j) {
        void *destination = info.bufferInfos[c.inputCount + j].buffers[h];
        if (destination) std::memset(destination, 0, frames * c.outputBytes[j]);
    }
}

void runBufferSwitch(const BufferSwitchContext &context, const AEffect *plugin, long half) {
    const DriverInfo &info = *context.driver;
    const ChannelConverters &c = *context.converters;
    const EngineState &engine = *context.engine;
    const long h = half ? 1 : 0;
    const int frames = framesOf(info);

    bool processed = false;
    // Entered only when the decrement brings the counter to 0 (gate open, nobody inside).
    if (InterlockedDecrement(&context.gate->counter) == 0 && frames > 0 && frames <= engine.bufferFrames) {
        const int pluginInputs = plugin ? pluginCount(plugin->numInputs) : 0;
        const int pluginOutputs = plugin ? outMapEntries(pluginCount(plugin->numOutputs)) : 0;
        convertInputs(info, c, engine, pluginInputs, h, frames);
        if (context.processBlock(frames)) {
            convertOutputs(info, c, engine, pluginOutputs, h, frames);
            processed = true;
        }
    }
    if (!processed) clearOutputHalf(info, c, h);
    if (info.postOutput && context.outputReady) context.outputReady();
    InterlockedIncrement(&context.gate->counter);
}

void sampleRateDidChange(ASIOSampleRate sRate) {
    // Rates that do not fit a positive 32-bit integer are not rates; ignore them.
    if (sRate >= 1.0 && sRate < 2147483648.0) gPendingSampleRate = LONG(sRate);
}

long asioMessage(long selector, long value, void *, double *) {
    switch (selector) {
    case kAsioSelectorSupported:
        return value == kAsioEngineVersion || value == kAsioResetRequest || value == kAsioResyncRequest ||
               value == kAsioLatenciesChanged;
    case kAsioEngineVersion:
        return 2;
    case kAsioResetRequest:
        gDriverResetRequest = 1;
        return 1;
    case kAsioResyncRequest:
    case kAsioLatenciesChanged:
        return 1;
    default:
        return 0;
    }
}
