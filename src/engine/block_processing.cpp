// Block processing: one call per driver buffer, on the driver's callback thread.
//
// Real-time contract for everything in this file:
// - no allocation: the pointer lists live on the stack, everything else was sized
//   when the stream opened;
// - no waiting, except the MIDI queue lock, which producers hold only for one store
//   and which this side holds only while copying, never during a plugin call;
// - no logging, no messages;
// - no system calls besides the two clock readings per block, the two playback
//   reads while playing and one event signal while recording.

#include "engine/block_processing.h"

#include <mmsystem.h>

#include <climits>
#include <cstring>

#include "audio/engine_state.h"
#include "core/app_state.h"
#include "engine/capture_files.h"
#include "engine/time_info.h"
#include "engine/transport_state.h"
#include "midi/midi_queue.h"
#include "plugin/plugin_instance.h"

volatile float gCpuLoad = 0.0f;
volatile LONG gHighResClock = 0;
CpuLoadCounters gCpuLoadCounters = {0, 0, 0, 0};

namespace {

// Performance-counter ticks when the probe found the counter, else milliseconds;
// only ratios of readings are used.
int64_t readClock() {
    if (gHighResClock) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return now.QuadPart;
    }
    return (int64_t)timeGetTime();
}

int clampChannelCount(int count) {
    if (count < 0) return 0;
    return count > kMaxChannels ? kMaxChannels : count;
}

// The engine buffer a map entry names. -1, an entry outside the engine's channels
// and a channel without a buffer all give the fallback (silence or discard).
float *routedBuffer(int32_t channel, int channelCount, float *const *buffers, float *fallback) {
    if (channel < 0 || channel >= channelCount) return fallback;
    float *buffer = buffers[channel];
    return buffer ? buffer : fallback;
}

// Adds the next frames of a capture file into the buffer, read through the scratch
// buffer; returns the bytes read. (Both are the discard buffer for an unrouted side,
// whose sum nobody hears.)
DWORD addFromFile(HANDLE file, float *buffer, float *scratch, int frames) {
    DWORD got = 0;
    if (!ReadFile(file, scratch, (DWORD)frames * sizeof(float), &got, nullptr)) got = 0;
    for (DWORD i = 0; i < got / sizeof(float); ++i) buffer[i] += scratch[i];
    return got;
}

// Adds the next block of the recording into output-list entries 0 and 1, after the
// plugin's process (a plugin whose process replaces its outputs would overwrite it).
// The discard buffer, which nobody reads, is the scratch. Playback ends when the
// right file runs out or the position reaches the recorded frames.
void playbackRead(float *left, float *right, float *scratch, int frames) {
    addFromFile(gCaptureLeft, left, scratch, frames);
    DWORD got = addFromFile(gCaptureRight, right, scratch, frames);
    // A recording past LONG_MAX frames plays until its files end.
    LONG recorded = gRecorder.recordedFrames;
    if (got == 0 || (gRecorder.transportPos >= recorded && recorded < LONG_MAX)) {
        gRecorder.playing = 0;
        gStatusDirty = 1;
    }
}

// A single output is heard on its right side too: copied into that driver output,
// unless the two sides name the same one.
void copyToRightSide(const float *left, float *right, int frames) {
    if (right != left) memcpy(right, left, sizeof(float) * (size_t)frames);
}

}  // namespace

void probeClock() {
    LARGE_INTEGER now;
    gHighResClock = QueryPerformanceCounter(&now) ? 1 : 0;
}

void cpuLoadBlockStart(CpuLoadCounters &counters, int64_t t0) { counters.idle += t0 - counters.lastEnd; }

bool cpuLoadBlockEnd(CpuLoadCounters &counters, int64_t t0, int64_t t1, int frames, int sampleRate, float *load) {
    counters.lastEnd = t1;
    counters.busy += t1 - t0;
    counters.frames += frames;
    if ((double)counters.frames < sampleRate / 4.0) return false;
    double total = (double)counters.busy + (double)counters.idle;
    *load = total > 0.0 ? (float)(100.0 * (double)counters.busy / total) : 0.0f;
    counters.frames = 0;
    counters.busy = 0;
    counters.idle = 0;
    return true;
}

int processBlock(int frames) {
    AEffect *effect = gPlugin.effect;
    if (!effect) {
        gCpuLoad = 0.0f;
        return 0;
    }
    // The engine buffers are blockSize frames long; without them, or for a longer
    // block, there is nothing safe to hand the plugin.
    float *silence = gEngine.silence;
    float *discard = gEngine.discard;
    if (!silence || !discard || frames <= 0 || frames > gEngine.blockSize) return 0;

    gRecorder.blockCounter = gRecorder.blockCounter + 1;  // this thread alone writes it
    int64_t t0 = readClock();
    cpuLoadBlockStart(gCpuLoadCounters, t0);

    // A plugin that declares more than 128 inputs or outputs would read past the
    // pointer lists: its first 128 channels are routed, but process is not called.
    VstInt32 declaredInputs = effect->numInputs;
    VstInt32 declaredOutputs = effect->numOutputs;
    bool listsFit = declaredInputs <= kMaxChannels && declaredOutputs <= kMaxChannels;
    int numInputs = clampChannelCount(declaredInputs);
    int numOutputs = clampChannelCount(declaredOutputs);
    int engineInputs = clampChannelCount(gEngine.inputCount);
    int engineOutputs = clampChannelCount(gEngine.outputCount);

    float *inputs[kMaxChannels];
    float *outputs[kMaxChannels];
    for (int i = 0; i < numInputs; ++i) {
        inputs[i] = routedBuffer(gEngine.inMap[i], engineInputs, gEngine.inputs, silence);
    }
    for (int i = 0; i < numOutputs; ++i) {
        outputs[i] = routedBuffer(gEngine.outMap[i], engineOutputs, gEngine.outputs, discard);
        memset(outputs[i], 0, sizeof(float) * (size_t)frames);
    }
    // Playback writes entries 0 and 1 whatever the plugin's output count.
    for (int i = numOutputs; i < 2; ++i) outputs[i] = discard;
    // A single output's right side: the driver output of OutMap entry 1.
    if (numOutputs == 1) outputs[1] = routedBuffer(gEngine.outMap[1], engineOutputs, gEngine.outputs, discard);

    if (gPlugin.wantsMidi) {
        drainMidiQueue(gMidiQueue, gPluginEventBlock);
        if (effect->dispatcher) effect->dispatcher(effect, effProcessEvents, 0, 0, &gPluginEventBlock, 0.0f);
    }

    if (listsFit && effect->process) effect->process(effect, inputs, outputs, frames);
    if (numOutputs == 1) copyToRightSide(outputs[0], outputs[1], frames);

    if (gRecorder.playing) playbackRead(outputs[0], outputs[1], discard, frames);

    int sampleRate = gEngine.sampleRate;
    int tempo = gTempo;
    if (sampleRate > 0 && tempo > 0) advanceTimeInfo(gTimeInfo, frames, sampleRate, tempo);

    if (gRecorder.recording)
        captureTap(routedBuffer(gEngine.outMap[0], engineOutputs, gEngine.outputs, nullptr),
                   routedBuffer(gEngine.outMap[1], engineOutputs, gEngine.outputs, nullptr), frames);

    if (gRecorder.recording || gRecorder.playing) {
        gRecorder.transportPos = saturatedFrames((uint64_t)gRecorder.transportPos + (uint64_t)frames);
        gStatusDirty = 1;
    }

    int64_t t1 = readClock();
    float load;
    if (cpuLoadBlockEnd(gCpuLoadCounters, t0, t1, frames, sampleRate, &load)) gCpuLoad = load;
    return 1;
}
