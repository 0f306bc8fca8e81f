// Take shaping against rendering: for a few keys at the export dialog's defaults
// (44100 Hz, stereo, hold 2000 ms, release 500 ms, velocity 127), the time to render
// one take through the plugin beside the program (the demo instrument), as the
// export renders it (renderTake: blocks of 512 frames into the two temporary files),
// next to the time to shape the same take's points: the channels summed, the sustain
// loop searched in the held part, its crossfade written into both channels, the tail
// trimmed and faded. Medians of several rounds; prints the ratio shaping / rendering
// per key and where the shaping's time goes.
// Usage: take_shaping_bench.exe [rounds] [key ...]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/engine_state.h"
#include "engine/engine_hooks.h"
#include "export/export_run.h"
#include "export/offline_render.h"
#include "export/take_shaping.h"
#include "midi/midi_ports.h"
#include "plugin/plugin_instance.h"

namespace {

LARGE_INTEGER gFrequency;

double seconds(int64_t ticks) { return (double)ticks / (double)gFrequency.QuadPart; }

int64_t now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

std::string programFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\'));
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One round of one key: the times in seconds and what the shaping found.
struct Round {
    double reset, render;                     // resetPluginForTake, renderTake
    double mix, search, crossfade, trim, all;  // the shaping's steps and their sum
    SustainLoop loop;
    uint32_t kept;                             // frames after the trim
};

Round shapeOneTake(OfflineRender &render, uint8_t key, std::vector<float> &left, std::vector<float> &right,
                   std::vector<float> &mono) {
    Round r = {};
    int64_t t0 = now();
    resetPluginForTake(render);
    int64_t t1 = now();
    renderTake(render, &key, 1);
    int64_t t2 = now();
    r.reset = seconds(t1 - t0);
    r.render = seconds(t2 - t1);

    const ExportTiming &timing = render.timing;
    uint32_t frames = (uint32_t)timing.totalFrames;
    rewindTake(render);
    readTakePoints(render, 0, left.data(), (int)frames);
    readTakePoints(render, 1, right.data(), (int)frames);

    // The held part: from 10 ms after the note-on (past the attack) to the note-off,
    // which falls on the block boundary at or before the hold time.
    uint32_t heldFrom = (uint32_t)timing.rate / 100;
    int32_t noteOff = std::max(1, timing.holdFrames / kExportBlock) * kExportBlock;
    uint32_t heldTo = (uint32_t)std::min(noteOff, timing.totalFrames);

    int64_t s0 = now();
    for (uint32_t i = 0; i < frames; ++i) mono[i] = left[i] + right[i];
    int64_t s1 = now();
    r.loop = findSustainLoop(mono.data(), frames, heldFrom, heldTo, keyPeriod(key, timing.rate), timing.rate);
    int64_t s2 = now();
    if (r.loop.found) {
        uint32_t fade = crossfadeFrames(r.loop, timing.rate);
        writeLoopCrossfade(left.data(), r.loop, fade);
        writeLoopCrossfade(right.data(), r.loop, fade);
    }
    int64_t s3 = now();
    const float *channels[2] = {left.data(), right.data()};
    r.kept = trimmedFrames(channels, 2, frames, r.loop.found ? r.loop.end : 0, timing.rate);
    fadeOutTail(left.data(), r.kept, timing.rate);
    fadeOutTail(right.data(), r.kept, timing.rate);
    int64_t s4 = now();
    r.mix = seconds(s1 - s0);
    r.search = seconds(s2 - s1);
    r.crossfade = seconds(s3 - s2);
    r.trim = seconds(s4 - s3);
    r.all = seconds(s4 - s0);
    return r;
}

}  // namespace

int main(int argc, char **argv) {
    int rounds = argc > 1 ? atoi(argv[1]) : 5;
    if (rounds < 1 || rounds > 1000) {
        fprintf(stderr, "usage: take_shaping_bench [rounds 1...1000] [key ...]\n");
        return 2;
    }
    std::vector<int> keys;
    for (int i = 2; i < argc; ++i) {
        int key = atoi(argv[i]);
        if (key < 0 || key > 127) {
            fprintf(stderr, "a key is 0 ... 127, not %s\n", argv[i]);
            return 2;
        }
        keys.push_back(key);
    }
    if (keys.empty()) keys = {36, 60, 84, 108};

    QueryPerformanceFrequency(&gFrequency);
    installEngine();
    initMidi();
    if (!allocateEngineBuffers(gEngine.blockSize)) return 1;
    if (!gPlugin.open((programFolder() + "\\Korvane.dll").c_str(), 44100.0f, gEngine.blockSize)) {
        fprintf(stderr, "no plugin beside the program\n");
        return 1;
    }
    gPlugin.resume();

    ExportSettings settings = kDefaultExportSettings;
    uint8_t selection[128] = {};
    for (int key : keys) selection[key] = 1;
    OfflineRender render;
    if (!beginOfflineRender(render, settings, selection, nullptr)) {
        fprintf(stderr, "the export buffers could not be allocated\n");
        endOfflineRender(render);
        return 1;
    }
    const ExportTiming &timing = render.timing;
    std::vector<float> left(timing.totalFrames), right(timing.totalFrames), mono(timing.totalFrames);
    printf("%d frames a take (%d Hz, hold %d ms, release %d ms, stereo, velocity %d), medians of %d rounds\n",
           timing.totalFrames, timing.rate, settings.holdMs, settings.releaseMs, settings.velocity, rounds);
    printf("key | render | shaping | shaping/render | mix | loop search | crossfade | trim+fade | reset | loop "
           "(periods, join error) | kept frames\n");
    bool complete = true;
    for (int key : keys) {
        std::vector<double> reset, rendering, mix, search, crossfade, trim, all, ratio;
        Round last = {};
        for (int i = 0; i < rounds; ++i) {
            last = shapeOneTake(render, (uint8_t)key, left, right, mono);
            complete = takeComplete(render) && complete;
            reset.push_back(last.reset);
            rendering.push_back(last.render);
            mix.push_back(last.mix);
            search.push_back(last.search);
            crossfade.push_back(last.crossfade);
            trim.push_back(last.trim);
            all.push_back(last.all);
            ratio.push_back(last.all / last.render);
        }
        double periods = last.loop.found ? (last.loop.end - last.loop.start) / keyPeriod(key, timing.rate) : 0.0;
        printf("%3d | %7.3f ms | %7.3f ms | %.4f | %.3f ms | %.3f ms | %.3f ms | %.3f ms | %.3f ms | %s %.1f, %.2g "
               "| %u\n",
               key, 1e3 * median(rendering), 1e3 * median(all), median(ratio), 1e3 * median(mix), 1e3 * median(search),
               1e3 * median(crossfade), 1e3 * median(trim), 1e3 * median(reset), last.loop.found ? "yes" : "no",
               periods, (double)last.loop.error, last.kept);
    }
    endOfflineRender(render);
    gPlugin.close();
    freeEngineBuffers();
    if (!complete) {
        fprintf(stderr, "a take did not reach the temporary files whole\n");
        return 1;
    }
    return 0;
}
