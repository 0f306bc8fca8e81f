// Offline rendering: the set-up and the restore run on the GUI thread, the takes on
// the export's thread (or the GUI thread); the engine gate is closed from before the
// first plugin call of the export to after the last, so the driver's thread never
// calls the plugin while a take renders.
#include "export/offline_render.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/engine_state.h"
#include "core/app_state.h"
#include "core/gate.h"
#include "core/raw_file.h"
#include "export/export_memory.h"
#include "export/export_choices.h"
#include "midi/midi_keys.h"
#include "midi/midi_ports.h"
#include "midi/midi_queue.h"
#include "plugin/plugin_instance.h"

namespace {

const char *const kTempPrefixes[2] = {"~xportL", "~xportR"};

void dispatchEvents() { gPlugin.dispatch(effProcessEvents, 0, 0, &gPluginEventBlock, 0.0f); }

int countKeys(const uint8_t *keys) {
    int n = 0;
    for (int k = 0; k < kKeyCount; ++k) n += keys[k] != 0;
    return n;
}

// A single output is the take as it is: the same signal on both sides, so a stereo
// file carries it twice and a mono file (the mix of both) at its full level.
void copySingleOutput(float *left, float *right) { memcpy(right, left, sizeof(float) * kExportBlock); }

// 512 frames of the plugin into left and right (inputs silent, outputs 2 and above
// discarded; a single output goes into both).
void processBlockInto(float *left, float *right) {
    AEffect *effect = gPlugin.effect;
    float *silence = gEngine.silence;
    float *discard = gEngine.discard;
    memset(left, 0, sizeof(float) * kExportBlock);
    memset(right, 0, sizeof(float) * kExportBlock);
    if (!effect || !silence || !discard || gEngine.bufferFrames < kExportBlock) return;
    // A plugin declaring more than 128 channels would read past the pointer lists.
    if (effect->numInputs > kMaxChannels || effect->numOutputs > kMaxChannels || !effect->process) return;
    float *inputs[kMaxChannels];
    float *outputs[kMaxChannels];
    for (int i = 0; i < effect->numInputs; ++i) inputs[i] = silence;
    outputs[0] = left;
    outputs[1] = right;
    for (int i = 2; i < kMaxChannels; ++i) outputs[i] = discard;
    // Cleared where the plugin reads them: inputs it might have written, outputs beyond two it adds into.
    if (effect->numInputs > 0) memset(silence, 0, sizeof(float) * kExportBlock);
    if (effect->numOutputs > 2) memset(discard, 0, sizeof(float) * kExportBlock);
    effect->process(effect, inputs, outputs, kExportBlock);
    if (effect->numOutputs == 1) copySingleOutput(left, right);
}

// Gives the take's memory back for the next export.
void releaseTake(OfflineRender &render) {
    returnExportMemory(kTakeLeftMemory, render.take[0], render.takeBytes);
    returnExportMemory(kTakeRightMemory, render.take[1], render.takeBytes);
    render.take[0] = render.take[1] = nullptr;
}

// Room for the whole take in memory, in whole blocks, when it fits the budget (with
// a third channel's worth for the loop search's sum when loops are asked for);
// otherwise (or without the memory) the take goes through the temporary files.
void allocateTake(OfflineRender &render, bool loop) {
    size_t budget = render.control && render.control->takeBudget ? render.control->takeBudget : kTakeBudget;
    size_t blocks = ((size_t)render.timing.totalFrames + kExportBlock - 1) / kExportBlock;
    size_t bytes = blocks * kExportBlock * sizeof(float);
    if (blocks == 0 || bytes > budget / (loop ? 3 : 2)) return;
    render.take[0] = (float *)takeExportMemory(kTakeLeftMemory, bytes);
    render.take[1] = (float *)takeExportMemory(kTakeRightMemory, bytes);
    render.takeBytes = bytes;
    if (render.take[0] && render.take[1]) return;
    releaseTake(render);
}

}  // namespace

int32_t exportRate(int rateIndex) {
    if (rateIndex < 0 || rateIndex >= kOfferedRateCount) return 44100;
    return kOfferedRates[rateIndex];
}

ExportTiming exportTiming(int rateIndex, int holdMs, int releaseMs) {
    ExportTiming t;
    t.rate = exportRate(rateIndex);
    t.holdFrames = (int32_t)(t.rate / 1000.0 * holdMs);
    t.releaseFrames = (int32_t)(t.rate / 1000.0 * releaseMs);
    t.totalFrames = t.holdFrames + t.releaseFrames;
    return t;
}

int flushBlocks(int32_t rate) { return rate / kExportBlock + 1; }

TakeStep nextTakeStep(TakeCursor &cursor, const ExportTiming &timing) {
    TakeStep step;
    if (!cursor.started) {
        step.events = kTakeNoteOn;
        cursor.started = true;
    } else if (!cursor.released && cursor.position + kExportBlock > timing.holdFrames) {
        step.events = kTakeNoteOff;
        cursor.released = true;
    } else {
        step.events = kTakeNoEvents;
    }
    int32_t left = timing.totalFrames - cursor.position;
    step.keep = left < kExportBlock ? left : kExportBlock;
    cursor.position += kExportBlock;
    return step;
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

void reportTakeStarted(OfflineRender &render, int ordinal, int takes) {
    if (render.control && render.control->takeStarted)
        render.control->takeStarted(render.control->context, ordinal, takes);
}

bool exportCancelled(const OfflineRender &render) {
    return render.control && render.control->cancel && *render.control->cancel != 0;
}

bool beginOfflineRender(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
                        const ExportControl *control) {
    render.keyCount = countKeys(keySelection);
    render.control = control;
    render.timing = exportTiming(settings.rateIndex, settings.holdMs, settings.releaseMs);
    render.channels = settings.channelMode == kExportMono ? 1 : 2;
    render.midiChannel = settings.midiChannel;
    render.velocity = settings.velocity;
    render.framesKept = 0;
    render.left = render.right = nullptr;
    render.take[0] = render.take[1] = nullptr;
    render.takeBytes = 0;
    render.staged[0] = render.staged[1] = nullptr;
    render.stagedFrames = 0;
    render.tempFiles[0] = render.tempFiles[1] = INVALID_HANDLE_VALUE;

    InterlockedExchange(&gExportRunning, 1);
    closeEngineGate();
    closeMidiPorts();
    bool buffers = allocateEngineBuffers(kExportBlock);
    gPlugin.suspend();
    gPlugin.setRateAndBlock((float)render.timing.rate, kExportBlock);
    gPlugin.resume();
    render.left = (float *)calloc(kExportBlock, sizeof(float));
    render.right = (float *)calloc(kExportBlock, sizeof(float));
    allocateTake(render, settings.loop);
    if (!render.take[0]) {
        for (int c = 0; c < 2; ++c) {
            render.staged[c] = (float *)calloc(kStagedFrames, sizeof(float));
            render.tempFiles[c] = createTempFile(kTempPrefixes[c], kDeleteOnClose, nullptr, 0, nullptr);
        }
        buffers = buffers && render.staged[0] && render.staged[1];
    }
    return buffers && render.left && render.right;
}

void processExportBlock(OfflineRender &render) { processBlockInto(render.left, render.right); }

bool resetPluginForTake(OfflineRender &render) {
    for (HANDLE file : render.tempFiles) {
        if (file == INVALID_HANDLE_VALUE) continue;
        truncateFile(file, 0);
    }
    render.framesKept = 0;
    gPlugin.suspend();
    gPlugin.resume();
    int blocks = flushBlocks(render.timing.rate);
    for (int b = 0; b < blocks; ++b) {
        if (b == 0)
            fillAllNotesOff(gPluginEventBlock);
        else
            gPluginEventBlock.numEvents = 0;
        dispatchEvents();
        processExportBlock(render);
        if (exportCancelled(render)) {
            gPluginEventBlock.numEvents = 0;
            return false;
        }
    }
    return true;
}

// Writes the gathered frames to both files; true when every byte went out.
bool writeStaged(OfflineRender &render) {
    DWORD bytes = (DWORD)render.stagedFrames * sizeof(float);
    bool ok = writeAll(render.tempFiles[0], render.staged[0], bytes);
    ok = writeAll(render.tempFiles[1], render.staged[1], bytes) && ok;
    render.stagedFrames = 0;
    return ok;
}

bool renderTake(OfflineRender &render, const uint8_t *keys, int count) {
    TakeCursor cursor;
    bool intact = true;  // every frame so far reached both files
    bool complete = true;
    render.framesKept = 0;
    render.stagedFrames = 0;
    while (cursor.position < render.timing.totalFrames) {
        int32_t at = cursor.position;
        TakeStep step = nextTakeStep(cursor, render.timing);
        fillTakeEvents(gPluginEventBlock, step.events, keys, count, render.midiChannel, render.velocity);
        dispatchEvents();
        if (render.take[0]) {
            // In place: the take has room for whole blocks.
            processBlockInto(render.take[0] + at, render.take[1] + at);
            render.framesKept += step.keep;
        } else {
            processExportBlock(render);
            size_t bytes = (size_t)step.keep * sizeof(float);
            memcpy(render.staged[0] + render.stagedFrames, render.left, bytes);
            memcpy(render.staged[1] + render.stagedFrames, render.right, bytes);
            render.stagedFrames += step.keep;
            if (render.stagedFrames + kExportBlock > kStagedFrames || cursor.position >= render.timing.totalFrames) {
                int32_t frames = render.stagedFrames;
                intact = writeStaged(render) && intact;
                if (intact) render.framesKept += frames;
            }
        }
        if (exportCancelled(render)) {
            complete = false;
            break;
        }
    }
    gPluginEventBlock.numEvents = 0;
    return complete;
}

bool takeComplete(const OfflineRender &render) { return render.framesKept >= render.timing.totalFrames; }

void rewindTake(OfflineRender &render) {
    for (HANDLE file : render.tempFiles) rewindFile(file);
}

const float *takePoints(OfflineRender &render, int channel, int32_t from, int count, float *scratch) {
    int c = channel != 0;
    if (render.take[c]) return render.take[c] + from;
    if (count > 0) readOrSilence(render.tempFiles[c], scratch, (DWORD)count);
    return scratch;
}

void endOfflineRender(OfflineRender &render) {
    for (HANDLE &file : render.tempFiles) {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    free(render.left);
    free(render.right);
    render.left = render.right = nullptr;
    for (float *&staged : render.staged) {
        free(staged);
        staged = nullptr;
    }
    releaseTake(render);
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
