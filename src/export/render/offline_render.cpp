// Offline rendering: the engine's stop and restore run on the GUI thread, the takes
// on the export's thread (or the GUI thread); the engine gate is closed from before
// the first plugin call of the export to after the last, so the driver's thread never
// calls the plugin while a take renders.
#include "export/render/offline_render.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "audio/engine_state.h"
#include "core/app_state.h"
#include "core/gate.h"
#include "core/raw_file.h"
#include "midi/midi_ports.h"
#include "plugin/plugin_instance.h"

namespace {

const char *const kTempPrefixes[2] = {"~xportL", "~xportR"};

void dispatchEvents(TakeRenderer &r) { r.plugin->dispatch(effProcessEvents, 0, 0, &r.events, 0.0f); }

bool cancelled(const TakeRenderer &r) { return r.cancel && *r.cancel != 0; }

// 512 frames of the plugin into left and right (inputs silent, outputs 2 and above
// discarded). A single output is the take as it is: the same signal on both sides,
// so a stereo file carries it twice and a mono file (the mix of both) at its full level.
void processBlockInto(TakeRenderer &r, float *left, float *right) {
    AEffect *effect = r.plugin->effect;
    memset(left, 0, sizeof(float) * kExportBlock);
    memset(right, 0, sizeof(float) * kExportBlock);
    if (!effect) return;
    // A plugin declaring more than 128 channels would read past the pointer lists.
    if (effect->numInputs > kMaxChannels || effect->numOutputs > kMaxChannels || !effect->process) return;
    float *inputs[kMaxChannels];
    float *outputs[kMaxChannels];
    for (int i = 0; i < effect->numInputs; ++i) inputs[i] = r.silence;
    outputs[0] = left;
    outputs[1] = right;
    for (int i = 2; i < kMaxChannels; ++i) outputs[i] = r.discard;
    // Cleared where the plugin reads them: inputs it might have written, outputs beyond two it adds into.
    if (effect->numInputs > 0) memset(r.silence, 0, sizeof(float) * kExportBlock);
    if (effect->numOutputs > 2) memset(r.discard, 0, sizeof(float) * kExportBlock);
    effect->process(effect, inputs, outputs, kExportBlock);
    if (effect->numOutputs == 1) memcpy(right, left, sizeof(float) * kExportBlock);
}

// Gives the take's memory back for the next export.
void releaseTake(TakeRenderer &r) {
    returnExportMemory(r.memory, r.slots[0], r.rendered[0], r.takeBytes);
    returnExportMemory(r.memory, r.slots[1], r.rendered[1], r.takeBytes);
    returnExportMemory(r.memory, r.slots[2], r.sum, r.takeBytes);
    r.rendered[0] = r.rendered[1] = r.audio.memory[0] = r.audio.memory[1] = r.sum = nullptr;
}

// Room for the whole take in memory, in whole blocks, and for its channels' sum, when
// the three fit the budget; otherwise (or without the memory) the take goes through
// the temporary files.
void allocateTake(TakeRenderer &r, size_t budget) {
    size_t blocks = ((size_t)r.timing.totalFrames + (size_t)r.latency + kExportBlock - 1) / kExportBlock;
    size_t bytes = blocks * kExportBlock * sizeof(float);
    if (blocks == 0 || bytes > budget / 3) return;
    r.rendered[0] = (float *)takeExportMemory(r.memory, r.slots[0], bytes);
    r.rendered[1] = (float *)takeExportMemory(r.memory, r.slots[1], bytes);
    r.sum = (float *)takeExportMemory(r.memory, r.slots[2], bytes);
    r.takeBytes = bytes;
    if (r.rendered[0] && r.rendered[1] && r.sum) {
        for (int c = 0; c < 2; ++c) r.audio.memory[c] = r.rendered[c] + r.latency;
        return;
    }
    releaseTake(r);
}

// Writes the gathered frames to both files; true when every byte went out.
bool writeStaged(TakeRenderer &r) {
    DWORD bytes = (DWORD)r.stagedFrames * sizeof(float);
    bool ok = writeAll(r.audio.files[0], r.staged[0], bytes);
    ok = writeAll(r.audio.files[1], r.staged[1], bytes) && ok;
    r.stagedFrames = 0;
    return ok;
}

}  // namespace

bool beginOfflineEngine(int32_t rate) {
    InterlockedExchange(&gExportRunning, 1);
    closeEngineGate();
    closeMidiPorts();
    bool buffers = allocateEngineBuffers(kExportBlock);
    gPlugin.suspend();
    gPlugin.setRateAndBlock((float)rate, kExportBlock);
    gPlugin.resume();
    return buffers;
}

void endOfflineEngine() {
    allocateEngineBuffers(gEngine.blockSize);
    gPlugin.suspend();
    gPlugin.setRateAndBlock((float)gEngine.sampleRate, gEngine.blockSize);
    gMidiQueue.clear();
    // With sound switched off the plugin stays suspended and the MIDI ports closed;
    // the gate keeps the close of sound off after this open.
    if (!gAudioStopped) {
        gPlugin.resume();
        openMidiPorts();
    }
    openEngineGate();
    InterlockedExchange(&gExportRunning, 0);
}

void fillTakeEvents(PluginEventBlock &block, TakeEvents events, const uint8_t *keys, int count, int channel,
                    int velocity) {
    if (events == kTakeNoEvents || count < 0) count = 0;
    if (count > kMidiQueueSize) count = kMidiQueueSize;
    int data2 = events == kTakeNoteOn ? (velocity & 0xFF) : 0;
    for (int i = 0; i < count; ++i) {
        unsigned char *d = (unsigned char *)block.records[i].midiData;
        d[0] = (unsigned char)(0x90 + (channel & 0x0F));
        d[1] = keys[i];
        d[2] = (unsigned char)data2;
    }
    block.numEvents = count;
}

void fillAllNotesOff(PluginEventBlock &block) {
    for (int c = 0; c < 16; ++c) {
        unsigned char *d = (unsigned char *)block.records[c].midiData;
        d[0] = (unsigned char)(0xB0 + c);
        d[1] = 123;
        d[2] = 0;
    }
    block.numEvents = 16;
}

bool openTakeRenderer(TakeRenderer &r, PluginInstance *plugin, const ExportPlan &plan, size_t takeBudget,
                      ExportMemory *memory, const volatile LONG *cancel, bool second) {
    return openTakeRenderer(r, plugin, plan.timing, plan.midiChannel, takeBudget, memory, cancel, second);
}

bool openTakeRenderer(TakeRenderer &r, PluginInstance *plugin, const ExportTiming &timing, int midiChannel,
                      size_t takeBudget, ExportMemory *memory, const volatile LONG *cancel, bool second) {
    r.plugin = plugin;
    r.slots[0] = second ? kSecondTakeLeftMemory : kTakeLeftMemory;
    r.slots[1] = second ? kSecondTakeRightMemory : kTakeRightMemory;
    r.slots[2] = second ? kSecondLoopSearchMemory : kLoopSearchMemory;
    r.timing = timing;
    r.midiChannel = midiChannel;
    r.cancel = cancel;
    r.memory = memory;
    prepareEventBlock(r.events);
    r.silence = (float *)calloc(kExportBlock, sizeof(float));
    r.discard = (float *)calloc(kExportBlock, sizeof(float));
    r.block[0] = (float *)calloc(kExportBlock, sizeof(float));
    r.block[1] = (float *)calloc(kExportBlock, sizeof(float));
    r.rendered[0] = r.rendered[1] = r.audio.memory[0] = r.audio.memory[1] = r.sum = nullptr;
    r.audio.files[0] = r.audio.files[1] = INVALID_HANDLE_VALUE;
    r.audio.fileFrame = 0;
    const VstInt32 declared = plugin && plugin->effect ? plugin->effect->initialDelay : 0;
    r.latency = declared < 0 ? 0 : declared > r.timing.rate ? r.timing.rate : (int32_t)declared;
    r.takeBytes = 0;
    r.staged[0] = r.staged[1] = nullptr;
    r.stagedFrames = 0;
    r.framesKept = 0;
    allocateTake(r, takeBudget ? takeBudget : kTakeBudget);
    bool buffers = r.silence && r.discard && r.block[0] && r.block[1];
    if (!r.audio.memory[0]) {
        for (int c = 0; c < 2; ++c) {
            r.staged[c] = (float *)calloc(kStagedFrames, sizeof(float));
            r.audio.files[c] = createTempFile(kTempPrefixes[c], kDeleteOnClose, nullptr, 0, nullptr);
        }
        buffers = buffers && r.staged[0] && r.staged[1];
    }
    return buffers;
}

bool resetPluginForTake(TakeRenderer &r) {
    for (HANDLE file : r.audio.files)
        if (file != INVALID_HANDLE_VALUE) truncateFile(file, 0);
    r.framesKept = 0;
    r.plugin->suspend();
    r.plugin->resume();
    int blocks = flushBlocks(r.timing.rate);
    for (int b = 0; b < blocks; ++b) {
        if (b == 0)
            fillAllNotesOff(r.events);
        else
            r.events.numEvents = 0;
        dispatchEvents(r);
        processBlockInto(r, r.block[0], r.block[1]);
        if (cancelled(r)) {
            r.events.numEvents = 0;
            return false;
        }
    }
    return true;
}

bool renderTake(TakeRenderer &r, const ExportPlan &plan, const PlannedTake &take) {
    // The instrument's output comes r.latency frames late: render that much longer and
    // leave out the first r.latency frames.
    ExportTiming timing = r.timing;
    timing.totalFrames += r.latency;
    TakeCursor cursor;
    bool intact = true;  // every frame so far reached both files
    bool complete = true;
    r.framesKept = 0;
    r.stagedFrames = 0;
    while (cursor.position < timing.totalFrames) {
        int32_t at = cursor.position;
        TakeStep step = nextTakeStep(cursor, timing);
        fillTakeEvents(r.events, step.events, takeKeys(plan, take), take.keyCount, r.midiChannel,
                       take.layer.velocity);
        dispatchEvents(r);
        // Frames [late, step.keep) of this block belong to the take.
        const int32_t late = at < r.latency ? (r.latency - at < step.keep ? r.latency - at : step.keep) : 0;
        if (r.rendered[0]) {
            // In place: the rendering has room for whole blocks.
            processBlockInto(r, r.rendered[0] + at, r.rendered[1] + at);
            r.framesKept += step.keep - late;
        } else {
            processBlockInto(r, r.block[0], r.block[1]);
            size_t bytes = (size_t)(step.keep - late) * sizeof(float);
            memcpy(r.staged[0] + r.stagedFrames, r.block[0] + late, bytes);
            memcpy(r.staged[1] + r.stagedFrames, r.block[1] + late, bytes);
            r.stagedFrames += step.keep - late;
            if (r.stagedFrames + kExportBlock > kStagedFrames || cursor.position >= timing.totalFrames) {
                int32_t frames = r.stagedFrames;
                intact = writeStaged(r) && intact;
                if (intact) r.framesKept += frames;
            }
        }
        if (cancelled(r)) {
            complete = false;
            break;
        }
    }
    r.events.numEvents = 0;
    return complete;
}

bool takeComplete(const TakeRenderer &r) { return r.framesKept >= r.timing.totalFrames; }

void closeTakeRenderer(TakeRenderer &r) {
    for (HANDLE &file : r.audio.files) {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    for (float **buffer : {&r.silence, &r.discard, &r.block[0], &r.block[1], &r.staged[0], &r.staged[1]}) {
        free(*buffer);
        *buffer = nullptr;
    }
    releaseTake(r);
}
