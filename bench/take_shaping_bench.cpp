// Take shaping against rendering: for a few keys at the export dialog's defaults
// (44100 Hz, stereo, hold 2000 ms, release 500 ms, velocity 127), the time to render
// one take through the plugin beside the program (the demo instrument), as the
// export renders it (renderTake: blocks of 512 frames into the take in memory), next
// to the time the export needs to measure and shape it with loop and trim on: the
// channels summed, the pitch and the level of the held part measured, the sustain loop
// searched in the held part, its crossfade written into both channels, the tail
// trimmed and faded, then the take's peak (for Normalise and the clip count) taken.
// Beside them the time of the take's digest, which an export of more than one
// variation adds (to find variations that repeat). Medians of several rounds; prints
// the ratio shaping / rendering per key.
// Usage: take_shaping_bench.exe [rounds] [key ...]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/engine_state.h"
#include "demo_instrument.h"
#include "engine/engine_hooks.h"
#include "export/render/offline_render.h"
#include "export/render/take_pitch.h"
#include "export/render/take_shaping.h"
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

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One round of one key: the times in seconds and what the shaping found.
struct Round {
    double reset, render, shaping;  // resetPluginForTake, renderTake, the measuring and shaping
    double digest;                  // takeDigest, which only an export of variations needs
    SustainLoop loop;
    int32_t kept;  // frames after the trim
    float levelDb, peak;
};

// Renders the key's take into memory as the export does and shapes it as the export
// does with both boxes on: the sustain loop searched and crossfaded, the tail trimmed.
Round shapeOneTake(TakeRenderer &renderer, const ExportPlan &plan, const PlannedTake &take) {
    Round r = {};
    const ExportTiming &timing = plan.timing;
    int64_t t0 = now();
    resetPluginForTake(renderer);
    int64_t t1 = now();
    renderTake(renderer, plan, take);
    int64_t t2 = now();
    // As the export does: the channels summed, the pitch and level measured, then the
    // loop and the tail, the peak and the digest.
    uint32_t from, to;
    heldPart(noteOffFrame(timing), timing.totalFrames, from, to);
    sumChannels(renderer.audio.memory, to, renderer.sum);
    double period = keyPeriod(take.rootKey, timing.rate);
    MeasuredPitch pitch = measurePitch(renderer.sum, from, to, period);
    if (pitch.found) period = pitch.period;
    r.levelDb = heldLevelDb(renderer.sum, from, to);
    TakeShape shape = shapeTake(renderer.audio.memory, (uint32_t)timing.totalFrames, noteOffFrame(timing), period,
                                timing.rate, true, true, renderer.sum);
    r.peak = takePeak(renderer.audio, shape.frames, plan.channels);
    int64_t t3 = now();
    r.digest = takeDigest(renderer.audio, shape.frames);
    r.digest = seconds(now() - t3);
    r.reset = seconds(t1 - t0);
    r.render = seconds(t2 - t1);
    r.shaping = seconds(t3 - t2);
    r.loop = shape.loop;
    r.kept = (int32_t)shape.frames;
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
    if (!openDemoInstrument()) return 1;

    ExportSettings settings = kDefaultExportSettings;
    uint8_t selection[128] = {};
    for (int key : keys) selection[key] = 1;
    static ExportPlan plan;
    planExport(settings, selection, plan);
    const ExportTiming &timing = plan.timing;
    static TakeRenderer renderer;
    bool engine = beginOfflineEngine(timing.rate);
    if (!openTakeRenderer(renderer, &gPlugin, plan, 0, nullptr, nullptr) || !engine) {
        fprintf(stderr, "the export buffers could not be allocated\n");
        closeTakeRenderer(renderer);
        endOfflineEngine();
        return 1;
    }
    if (!renderer.audio.memory[0]) {
        fprintf(stderr, "the take does not fit in memory\n");
        closeTakeRenderer(renderer);
        endOfflineEngine();
        return 1;
    }
    printf("%d frames a take (%d Hz, hold %d ms, release %d ms, stereo, velocity %d), medians of %d rounds\n",
           timing.totalFrames, timing.rate, settings.holdMs, settings.releaseMs, settings.velocity, rounds);
    printf("key | render | shaping | shaping/render | digest | reset | loop (periods, join error) | kept frames\n");
    bool complete = true;
    for (int t = 0; t < plan.takeCount; ++t) {
        const PlannedTake &take = plan.takes[t];
        std::vector<double> reset, rendering, shaping, ratio, digest;
        Round last = {};
        for (int i = 0; i < rounds; ++i) {
            last = shapeOneTake(renderer, plan, take);
            complete = takeComplete(renderer) && complete;
            reset.push_back(last.reset);
            rendering.push_back(last.render);
            shaping.push_back(last.shaping);
            ratio.push_back(last.shaping / last.render);
            digest.push_back(last.digest);
        }
        double periods =
            last.loop.found ? (last.loop.end - last.loop.start) / keyPeriod(take.rootKey, timing.rate) : 0.0;
        printf("%3d | %7.3f ms | %7.3f ms | %.4f | %.3f ms | %.3f ms | %s %.1f, %.2g | %d\n", take.rootKey,
               1e3 * median(rendering), 1e3 * median(shaping), median(ratio), 1e3 * median(digest), 1e3 * median(reset),
               last.loop.found ? "yes" : "no", periods, (double)last.loop.error, last.kept);
    }
    closeTakeRenderer(renderer);
    endOfflineEngine();
    gPlugin.close();
    freeEngineBuffers();
    if (!complete) {
        fprintf(stderr, "a take was not rendered whole\n");
        return 1;
    }
    return 0;
}
