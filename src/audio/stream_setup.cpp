#include "audio/engine_state.h"
#include "audio/stream.h"

bool settleSampleRate(const SampleRateOps &ops, ASIOSampleRate requested, ASIOSampleRate *rate) {
    const ASIOSampleRate attempts[] = {requested, 44100.0};
    for (ASIOSampleRate attempt : attempts) {
        if (ops.canSampleRate(attempt) == ASE_OK && ops.setSampleRate(attempt) == ASE_OK &&
            ops.getSampleRate(rate) == ASE_OK)
            return true;
    }
    return ops.getSampleRate(rate) == ASE_OK;
}

int32_t engineRateFrom(ASIOSampleRate rate) {
    return rate >= 1.0 && rate < 2147483648.0 ? int32_t(rate) : 0;
}

namespace {

long boundedCount(long count) {
    if (count < 0) return 0;
    return count > kMaxChannels ? kMaxChannels : count;
}

}  // namespace

void prepareBufferInfos(DriverInfo *info) {
    info->inputBuffers = boundedCount(info->inputChannels);
    info->outputBuffers = boundedCount(info->outputChannels);
    long k = 0;
    for (long i = 0; i < info->inputBuffers; ++i, ++k) info->bufferInfos[k] = {1, i, {nullptr, nullptr}};
    for (long j = 0; j < info->outputBuffers; ++j, ++k) info->bufferInfos[k] = {0, j, {nullptr, nullptr}};
}

bool buffersComplete(const DriverInfo &info) {
    const long total = boundedCount(info.inputBuffers) + boundedCount(info.outputBuffers);
    for (long k = 0; k < total; ++k)
        if (!info.bufferInfos[k].buffers[0] || !info.bufferInfos[k].buffers[1]) return false;
    return true;
}
