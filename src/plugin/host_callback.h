// The host callback the plugin calls for information and services.
#pragma once

#include <cstdint>

#include "plugin/vst2.h"

// What the callback answers with, handed in by the engine at start-up
// (installEngine): the engine's rate and block size and the musical time record.
// Unset, those requests are answered 0.
struct HostAnswers {
    const int32_t *sampleRate;
    const int32_t *blockSize;
    VstTimeInfo *timeInfo;
};
extern HostAnswers gHostAnswers;

VstIntPtr VSTCALLBACK hostCallback(AEffect *effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void *ptr,
                                   float opt);
