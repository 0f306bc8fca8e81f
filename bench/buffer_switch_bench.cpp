// Host cost of one buffer switch per 64-frame block, per sample type, for 2 and
// 128 channels, against memcpy of the same driver bytes in the same run.
// Prints a markdown table. Run: scripts/wine-run build/win64/bin/buffer_switch_bench.exe
// (or build/win32 for the 32-bit build).
#include "audio/buffer_switch.h"
#include "audio/engine_state.h"
#include "audio/sample_convert.h"
#if KORVANE_BENCH_BLOCK_PROCESSING
#include "engine/block_processing.h"
#include "plugin/plugin_instance.h"
#endif

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const int kFrames = 64;

// Stands in for the block processing around a plugin that does nothing: the
// switch's own cost is what is measured.
int doNothingBlock(int) { return 1; }
ASIOError outputReadyStub() { return ASE_OK; }

double now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(frequency.QuadPart);
}

// Best of several runs of `blocks` calls, in nanoseconds per call.
template <typename F>
double nsPerBlock(int blocks, F body) {
    double best = 1e30;
    for (int run = 0; run < 7; ++run) {
        const double t0 = now();
        for (int b = 0; b < blocks; ++b) body(b);
        best = std::min(best, (now() - t0) / blocks * 1e9);
    }
    return best;
}

// Two bodies timed in alternating runs, so that both see the same machine load;
// the best run of each, in nanoseconds per call.
template <typename F, typename G>
void nsPerBlockSideBySide(int blocks, F first, G second, double *firstNs, double *secondNs) {
    *firstNs = *secondNs = 1e30;
    for (int run = 0; run < 9; ++run) {
        double t0 = now();
        for (int b = 0; b < blocks; ++b) first(b);
        *firstNs = std::min(*firstNs, (now() - t0) / blocks * 1e9);
        t0 = now();
        for (int b = 0; b < blocks; ++b) second(b);
        *secondNs = std::min(*secondNs, (now() - t0) / blocks * 1e9);
    }
}

// Three bodies timed the same way.
template <typename F, typename G, typename H>
void nsPerBlockThreeWay(int blocks, F first, G second, H third, double *firstNs, double *secondNs, double *thirdNs) {
    *firstNs = *secondNs = *thirdNs = 1e30;
    for (int run = 0; run < 9; ++run) {
        double t0 = now();
        for (int b = 0; b < blocks; ++b) first(b);
        *firstNs = std::min(*firstNs, (now() - t0) / blocks * 1e9);
        t0 = now();
        for (int b = 0; b < blocks; ++b) second(b);
        *secondNs = std::min(*secondNs, (now() - t0) / blocks * 1e9);
        t0 = now();
        for (int b = 0; b < blocks; ++b) third(b);
        *thirdNs = std::min(*thirdNs, (now() - t0) / blocks * 1e9);
    }
}

volatile unsigned char gSink;

struct Setup {
    std::unique_ptr<DriverInfo> info{new DriverInfo()};
    std::vector<std::vector<unsigned char>> driverMemory;
    std::vector<std::vector<float>> engineMemory;
    EngineState engine = {};
    ChannelConverters converters = {};

    Setup(long type, int channels) {
        DriverInfo &d = *info;
        d.inputBuffers = channels;
        d.outputBuffers = channels;
        d.bufferPreferredSize = kFrames;
        d.postOutput = true;
        driverMemory.resize(4 * channels);
        for (int k = 0; k < 2 * channels; ++k) {
            d.bufferInfos[k].isInput = k < channels;
            d.channelInfos[k].type = type;
            for (int h = 0; h < 2; ++h) {
                std::vector<unsigned char> &m = driverMemory[2 * k + h];
                m.assign(kFrames * 8, 0);
                for (size_t i = 0; i < m.size(); ++i) m[i] = static_cast<unsigned char>(i * 37 + k);
                if (type == ASIOSTFloat32LSB || type == ASIOSTFloat64LSB) std::fill(m.begin(), m.end(), 0);
                d.bufferInfos[k].buffers[h] = m.data();
            }
        }
        engine.inputCount = channels;
        engine.outputCount = channels;
        engine.bufferFrames = kFrames;
        engineMemory.assign(2 * channels, std::vector<float>(kFrames));
        for (int i = 0; i < channels; ++i) {
            engine.inputs[i] = engineMemory[i].data();
            engine.outputs[i] = engineMemory[channels + i].data();
            for (int f = 0; f < kFrames; ++f) engine.outputs[i][f] = float((f * 7 + i) % 64) / 40.0f - 0.8f;
        }
        // Every plugin channel routed to its own driver channel: every channel converted.
        for (int i = 0; i < kMaxChannels; ++i) {
            engine.inMap[i] = i < channels ? i : -1;
            engine.outMap[i] = i < channels ? i : -1;
        }
        prepareChannelConverters(d, &converters);
    }
};

#if KORVANE_BENCH_BLOCK_PROCESSING
// A plugin that does nothing: its process leaves the cleared outputs as they are.
void VSTCALLBACK doNothingProcess(AEffect *, float **, float **, VstInt32) {}
VstIntPtr VSTCALLBACK doNothingDispatcher(AEffect *, VstInt32, VstInt32, VstIntPtr, void *, float) { return 0; }

// The whole host cost: buffer switch and the real block processing around that plugin,
// on the process-wide engine state.
double wholeHostCost(long type, int channels, int blocks) {
    Setup s(type, channels);
    AEffect effect = {};
    effect.magic = kEffectMagic;
    effect.dispatcher = doNothingDispatcher;
    effect.process = doNothingProcess;
    effect.numInputs = channels;
    effect.numOutputs = channels;
    gPlugin.effect = &effect;
    gEngine.inputCount = channels;
    gEngine.outputCount = channels;
    gEngine.blockSize = kFrames;
    for (int i = 0; i < kMaxChannels; ++i) {
        gEngine.inMap[i] = i < channels ? i : -1;
        gEngine.outMap[i] = i < channels ? i : -1;
    }
    allocateEngineBuffers(kFrames);
    Gate gate = {1, 1};
    const BufferSwitchContext context = {s.info.get(), &gEngine, &gate, &s.converters, processBlock, outputReadyStub};
    const double ns = nsPerBlock(blocks, [&](int b) { runBufferSwitch(context, &effect, b & 1); });
    freeEngineBuffers();
    gPlugin.effect = nullptr;
    return ns;
}
#endif

const char *typeName(long type) {
    switch (type) {
    case ASIOSTInt16LSB: return "Int16LSB";
    case ASIOSTInt24LSB: return "Int24LSB";
    case ASIOSTInt32LSB: return "Int32LSB";
    case ASIOSTFloat32LSB: return "Float32LSB";
    case ASIOSTFloat64LSB: return "Float64LSB";
    case ASIOSTInt32LSB18: return "Int32LSB18";
    case ASIOSTInt32LSB20: return "Int32LSB20";
    case ASIOSTInt32LSB24: return "Int32LSB24";
    default: return "?";
    }
}

// The same bytes moved without conversion: each input half into the engine side,
// each engine side into the output half.
void copyBlock(Setup &s, int channels, size_t bytes, std::vector<unsigned char> &scratch, int b) {
    const DriverInfo &d = *s.info;
    const int h = b & 1;
    for (int i = 0; i < channels; ++i) std::memcpy(&scratch[bytes * i], d.bufferInfos[i].buffers[h], bytes);
    for (int j = 0; j < channels; ++j)
        std::memcpy(d.bufferInfos[channels + j].buffers[h], &scratch[bytes * (channels + j)], bytes);
    gSink = scratch[b % scratch.size()];
}

// Every input converted into the engine, every engine output into the driver.
void convertBlock(Setup &s, const ChannelConverters &c, int channels, int b) {
    const DriverInfo &d = *s.info;
    const int h = b & 1;
    for (int i = 0; i < channels; ++i) c.input[i](d.bufferInfos[i].buffers[h], s.engine.inputs[i], kFrames);
    for (int j = 0; j < channels; ++j)
        c.output[j](s.engine.outputs[j], d.bufferInfos[channels + j].buffers[h], kFrames);
    gSink = static_cast<unsigned char *>(d.bufferInfos[channels].buffers[h])[0];
}

// The baseline forms and the forms picked at stream open, side by side with memcpy.
void compareForms(const long *types, int typeCount) {
    std::printf("\n| type | channels | memcpy ns/block | baseline forms ns/block | picked forms ns/block "
                "| baseline / memcpy | picked / memcpy |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
    for (int channels : {2, 128}) {
        for (int t = 0; t < typeCount; ++t) {
            const long type = types[t];
            Setup s(type, channels);
            ChannelConverters baseline = s.converters;
            for (int i = 0; i < channels; ++i) baseline.input[i] = inputConverterFor(type, kConverterBaseline);
            for (int j = 0; j < channels; ++j) baseline.output[j] = outputConverterFor(type, kConverterBaseline);
            const size_t bytes = size_t(kFrames) * bytesPerSample(type);
            std::vector<unsigned char> scratch(bytes * 2 * channels);
            double copy = 0.0, base = 0.0, picked = 0.0;
            nsPerBlockThreeWay(
                channels == 2 ? 200000 : 4000, [&](int b) { copyBlock(s, channels, bytes, scratch, b); },
                [&](int b) { convertBlock(s, baseline, channels, b); },
                [&](int b) { convertBlock(s, s.converters, channels, b); }, &copy, &base, &picked);
            std::printf("| %s | %d | %.0f | %.0f | %.0f | %.2f | %.2f |\n", typeName(type), channels, copy, base,
                        picked, base / copy, picked / copy);
        }
    }
}

}  // namespace

int main() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    const long types[] = {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32LSB, ASIOSTFloat32LSB, ASIOSTFloat64LSB,
                          ASIOSTInt32LSB18, ASIOSTInt32LSB20, ASIOSTInt32LSB24};
    const ConverterLevel level = supportedConverterLevel();
    std::printf("%d-bit build. Converters: %s.\n\n", int(8 * sizeof(void *)),
                level == kConverterAvx ? "AVX forms for the integer outputs and the packed 24-bit input, SSE2 for the others"
                                       : "SSE2 forms");
    std::printf("| type | channels | memcpy ns/block | conversions ns/block | conversions / memcpy "
                "| buffer switch ns/block | switch / memcpy |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
    double twoChannelWorst = 0.0;
    for (int channels : {2, 128}) {
        const int blocks = channels == 2 ? 200000 : 4000;
        for (long type : types) {
            Setup s(type, channels);
            DriverInfo &d = *s.info;
            const size_t bytes = size_t(kFrames) * bytesPerSample(type);
            std::vector<unsigned char> scratch(bytes * 2 * channels);

            const auto copyBody = [&](int b) { copyBlock(s, channels, bytes, scratch, b); };
            const auto convertBody = [&](int b) { convertBlock(s, s.converters, channels, b); };
            double copy = 0.0, convert = 0.0;
            nsPerBlockSideBySide(blocks, copyBody, convertBody, &copy, &convert);
            Gate gate = {1, 1};
            AEffect plugin = {};
            plugin.numInputs = channels;
            plugin.numOutputs = channels;
            const BufferSwitchContext context = {&d, &s.engine, &gate, &s.converters, doNothingBlock,
                                                 outputReadyStub};
            const double whole = nsPerBlock(blocks, [&](int b) { runBufferSwitch(context, &plugin, b & 1); });
            if (channels == 2) twoChannelWorst = std::max(twoChannelWorst, whole);
            std::printf("| %s | %d | %.0f | %.0f | %.2f | %.0f | %.2f |\n", typeName(type), channels, copy, convert,
                        convert / copy, whole, whole / copy);
        }
    }
    const double blockNs = kFrames / 48000.0 * 1e9;
#if KORVANE_BENCH_BLOCK_PROCESSING
    std::printf("\n| type | channels | buffer switch + block processing ns/block | share of a 64-frame block at 48 kHz |\n");
    std::printf("|---|---:|---:|---:|\n");
    for (int channels : {2, 128}) {
        for (long type : types) {
            const double ns = wholeHostCost(type, channels, channels == 2 ? 100000 : 4000);
            std::printf("| %s | %d | %.0f | %.3f%% |\n", typeName(type), channels, ns, 100.0 * ns / blockNs);
        }
    }
#else
    std::printf("\nThe block processing is not part of this build: the figures above are the buffer switch "
                "with a stand-in that processes nothing.\n");
#endif
    std::printf("\nBuffer switch without block processing, 2 channels, slowest type: %.0f ns = %.4f%% of a "
                "%d-frame block at 48 kHz (%.0f ns).\n",
                twoChannelWorst, 100.0 * twoChannelWorst / blockNs, kFrames, blockNs);
    if (level != kConverterBaseline) compareForms(types, int(sizeof types / sizeof types[0]));
    return 0;
}
