// The host callback the plugin calls for information and services.
#pragma once

#include <cstdint>

#include "plugin/vst2.h"

// What the callback answers with, handed in by the engine at start-up
// (installEngine): the musical time record, and the engine's rate and block size for
// a plugin not yet attached to its instance (inside effOpen); an attached plugin is
// answered with the rate and block size its instance last gave it. Unset, those
// requests are answered 0.
struct HostAnswers {
    const int32_t *sampleRate;
    const int32_t *blockSize;
    VstTimeInfo *timeInfo;
};
extern HostAnswers gHostAnswers;

class PluginInstance;
// The instance whose plugin object is being made (inside its entry and effOpen, before
// it is attached): requests from an unattached object are answered with its rate and
// block size instead of the engine's. Null outside; set and cleared on the GUI thread.
void setOpeningInstance(PluginInstance *instance);

VstIntPtr VSTCALLBACK hostCallback(AEffect *effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void *ptr,
                                   float opt);
