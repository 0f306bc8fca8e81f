// The host callback: answers the plugin's requests from the process-wide state.
#include "plugin/host_callback.h"

#include <windows.h>

#include <cstring>

#include "core/app_state.h"
#include "plugin/plugin_instance.h"

HostAnswers gHostAnswers = {nullptr, nullptr, nullptr};

namespace {

PluginInstance *volatile gOpeningInstance = nullptr;

const char kVendorString[] = "Morvex";
const char kProductString[] = "Korvane";
const VstIntPtr kVendorVersion = 1000;
const VstIntPtr kHostVersion = 2;
const VstIntPtr kLanguageEnglish = 1;

// What the host can do, in the order they are compared.
const char *const kHostCanDos[] = {"sendVstMidiEvent", "sendVstTimeInfo", "receiveVstMidiEvent", "supplyIdle"};

// The instance attached to the plugin object; during effOpen the one being opened
// beside the loaded one, if any.
PluginInstance *instanceOf(AEffect *effect) {
    if (effect == nullptr || effect->resvd1 == 0) return gOpeningInstance;
    return reinterpret_cast<PluginInstance *>(effect->resvd1);
}

VstIntPtr copyString(void *ptr, const char *text) {
    if (ptr == nullptr) return 0;
    memcpy(ptr, text, strlen(text) + 1);
    return 1;
}

VstIntPtr canDo(const void *ptr) {
    if (ptr == nullptr) return 0;
    const char *asked = static_cast<const char *>(ptr);
    for (const char *name : kHostCanDos) {
        if (lstrcmpA(asked, name) == 0) return 1;
    }
    return 0;
}

// The rate the plugin runs at: the one last given to an attached instance (an export
// runs it at its own rate), else the engine's, which is what a plugin not yet attached
// (inside effOpen at start-up) is opened with.
int32_t rateOf(const PluginInstance *instance) {
    if (instance == nullptr) return gHostAnswers.sampleRate != nullptr ? *gHostAnswers.sampleRate : 0;
    float rate = instance->givenSampleRate;
    return rate >= 1.0f && rate < 2147483648.0f ? (int32_t)rate : 0;
}

int32_t blockSizeOf(const PluginInstance *instance) {
    if (instance == nullptr) return gHostAnswers.blockSize != nullptr ? *gHostAnswers.blockSize : 0;
    return (int32_t)instance->givenBlockSize;
}

}  // namespace

void setOpeningInstance(PluginInstance *instance) { gOpeningInstance = instance; }

VstIntPtr VSTCALLBACK hostCallback(AEffect *effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void *ptr,
                                   float opt) {
    (void)index;
    (void)value;  // the time mask of audioMasterGetTime and the position of TempoAt are ignored
    (void)opt;
    PluginInstance *instance = instanceOf(effect);
    switch (opcode) {
    case audioMasterVersion:
        return kHostVersion;
    case audioMasterIdle:
        if (instance != nullptr) instance->editorIdle();
        return 1;
    case audioMasterPinConnected:
        return 0;  // connected
    case audioMasterWantMidi:
        if (instance != nullptr) instance->wantsMidi = 1;
        return 1;
    case audioMasterGetTime: {
        if (gHostAnswers.timeInfo == nullptr) return 0;
        VstTimeInfo *time = gHostAnswers.timeInfo;
        if (instance != nullptr && instance != &gPlugin) {
            // An export's own instance: a copy of the record, so that instances rendering
            // side by side never write one record together.
            instance->ownTime = *time;
            time = &instance->ownTime;
        }
        time->sampleRate = rateOf(instance);
        time->tempo = gTempo;
        return reinterpret_cast<VstIntPtr>(time);
    }
    case audioMasterTempoAt:
        return static_cast<VstIntPtr>(gTempo) * 10000;
    case audioMasterNeedIdle:
        if (instance != nullptr) {
            // Idle at once, from within the plugin's own request.
            instance->needsIdle = 1;
            VstIntPtr more = effect != nullptr && effect->dispatcher != nullptr
                                 ? effect->dispatcher(effect, effIdle, 0, 0, nullptr, 0.0f)
                                 : 0;
            instance->needsIdle = more != 0 ? 1 : 0;
        }
        return 1;
    case audioMasterGetSampleRate:
        return rateOf(instance);
    case audioMasterGetBlockSize:
        return blockSizeOf(instance);
    case audioMasterGetVendorString:
        return copyString(ptr, kVendorString);
    case audioMasterGetProductString:
        return copyString(ptr, kProductString);
    case audioMasterGetVendorVersion:
        return kVendorVersion;
    case audioMasterCanDo:
        return canDo(ptr);
    case audioMasterGetLanguage:
        return kLanguageEnglish;
    default:
        // Automation, events the plugin sends, window size requests and
        // everything unknown: answered 0, nothing done.
        return 0;
    }
}
