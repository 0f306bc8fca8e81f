// Export throughput: 128 keys with the dialog's defaults (44100 Hz, stereo, 16-bit,
// hold 2000 ms, release 500 ms) exported as one WAV file per key through the plugin
// beside the program (the demo instrument), or, with "null" as the third argument,
// through a plugin that does nothing: the demo's process and event calls replaced by
// empty ones built here. Prints the wall time, the frames per second, the time spent
// inside the plugin (process and effProcessEvents) and the host's share.
// Usage: export_bench.exe <output folder> <label> [null]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "audio/engine_state.h"
#include "engine/engine_hooks.h"
#include "export/export_run.h"
#include "export/sample_output.h"
#include "midi/midi_ports.h"
#include "plugin/plugin_instance.h"

namespace {

LARGE_INTEGER gFrequency;
int64_t gPluginTicks = 0;
AEffectProcessProc gRealProcess = nullptr;
AEffectDispatcherProc gRealDispatcher = nullptr;
AEffectDispatcherProc gEventsProc = nullptr;  // effProcessEvents goes here

void VSTCALLBACK nullProcess(AEffect *, float **, float **, VstInt32) {}

VstIntPtr VSTCALLBACK nullEvents(AEffect *, VstInt32, VstInt32, VstIntPtr, void *, float) { return 1; }

int64_t now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

void VSTCALLBACK timedProcess(AEffect *effect, float **inputs, float **outputs, VstInt32 frames) {
    int64_t t0 = now();
    gRealProcess(effect, inputs, outputs, frames);
    gPluginTicks += now() - t0;
}

VstIntPtr VSTCALLBACK timedDispatcher(AEffect *effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void *ptr,
                                      float opt) {
    if (opcode != effProcessEvents) return gRealDispatcher(effect, opcode, index, value, ptr, opt);
    int64_t t0 = now();
    VstIntPtr result = gEventsProc(effect, opcode, index, value, ptr, opt);
    gPluginTicks += now() - t0;
    return result;
}

std::string programFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\'));
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: export_bench <output folder> <label>\n");
        return 2;
    }
    QueryPerformanceFrequency(&gFrequency);
    installEngine();
    initMidi();
    if (!allocateEngineBuffers(gEngine.blockSize)) return 1;
    if (!gPlugin.open((programFolder() + "\\Korvane.dll").c_str(), 44100.0f, gEngine.blockSize)) {
        fprintf(stderr, "no plugin\n");
        return 1;
    }
    gPlugin.resume();
    gRealProcess = gPlugin.effect->process;
    gRealDispatcher = gPlugin.effect->dispatcher;
    gEventsProc = gRealDispatcher;
    bool null = argc > 3 && strcmp(argv[3], "null") == 0;
    AEffectProcessProc demoProcess = gRealProcess;
    if (null) {
        gRealProcess = nullProcess;
        gEventsProc = nullEvents;
    }
    gPlugin.effect->process = timedProcess;
    gPlugin.effect->dispatcher = timedDispatcher;

    // What one clock reading costs: each timed plugin call adds two.
    int64_t c0 = now();
    for (int i = 0; i < 100000; ++i) now();
    double readingNs = (double)(now() - c0) / (double)gFrequency.QuadPart * 1e9 / 100000;

    ExportSettings settings = kDefaultExportSettings;
    snprintf(settings.fileName, sizeof settings.fileName, "%s\\bench.wav", argv[1]);
    unsigned char keys[128];
    memset(keys, 1, sizeof keys);
    int64_t t0 = now();
    ExportReport report = runExport(settings, keys, nullptr);
    int64_t total = now() - t0;

    const double frames = 128.0 * 110250.0;
    double seconds = (double)total / (double)gFrequency.QuadPart;
    double plugin = (double)gPluginTicks / (double)gFrequency.QuadPart;
    double bytes = 128.0 * (44 + 110250.0 * 4);
    printf("%s: %d files not written; %.0f frames (%.0f bytes) in %.3f s = %.0f frames/s = %.1fx real time\n",
           argv[2], report.failed(), frames, bytes, seconds, frames / seconds, frames / seconds / 44100.0);
    printf("%s: one clock reading %.0f ns\n", argv[2], readingNs);
    printf("%s: plugin %.3f s (%.1f%%), host %.3f s (%.1f%%)\n", argv[2], plugin, 100.0 * plugin / seconds,
           seconds - plugin, 100.0 * (seconds - plugin) / seconds);
    gPlugin.effect->process = demoProcess;
    gPlugin.effect->dispatcher = gRealDispatcher;
    gPlugin.close();
    freeEngineBuffers();
    return report.failed() ? 1 : 0;
}
