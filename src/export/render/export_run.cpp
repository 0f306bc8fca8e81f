#include "export/render/export_run.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "export/formats/dspreset_sink.h"
#include "export/formats/sfz_sink.h"
#include "export/formats/soundfont_sink.h"
#include "export/formats/wav_sink.h"
#include "export/render/take_pitch.h"
#include "export/render/take_shaping.h"
#include "export/render/take_spool.h"
#include "plugin/plugin_instance.h"

namespace {

// The take as the file types receive it. A take in memory is measured and shaped: the
// pitch of its held part (not a chord's), then its sustain loop (of the measured
// period, else its key's; a chord's at the period its keys share) and tail as the
// choices ask; a take through the temporary files is written as rendered.
// *unpitched: a key's take with no pitch found; *noPeriod: a chord whose keys share no
// period, with a loop asked for.
FinishedTake finishTake(const ExportRun &run, TakeRenderer &r, int ordinal, bool *unpitched, bool *noPeriod) {
    const PlannedTake &take = run.plan.takes[ordinal - 1];
    const ExportTiming &timing = run.plan.timing;
    const uint32_t frames = (uint32_t)timing.totalFrames;
    FinishedTake finished = {&take, ordinal, r.audio, frames, SustainLoop{false, 0, 0, 1.0f, 1.0f},
                             takeComplete(r), 0, 0.0f, 1.0f, NAN};
    *unpitched = false;
    *noPeriod = false;
    if (r.audio.memory[0]) {
        uint32_t from, to;
        heldPart(noteOffFrame(timing), timing.totalFrames, from, to);
        sumChannels(r.audio.memory, to, r.sum);
        finished.levelDb = heldLevelDb(r.sum, from, to);
        double period = keyPeriod(take.rootKey, timing.rate);
        if (run.plan.chord) {
            // A chord loops at the period its keys share; without one it has no loop to find.
            period = chordPeriod(run.plan.keys, run.plan.keyCount, timing.rate, to - from);
            if (period == 0.0 && run.settings.loop) *noPeriod = true;
        } else {
            MeasuredPitch pitch = measurePitch(r.sum, from, to, period);
            if (pitch.found) period = pitch.period;
            else *unpitched = true;
            finished.tuningCents = tuningCents(pitch);
        }
        TakeShape shape = shapeTake(r.audio.memory, frames, noteOffFrame(timing), period, timing.rate,
                                    run.settings.loop && period > 0.0, run.settings.trim, r.sum);
        finished.frames = shape.frames;
        finished.loop = shape.loop;
    }
    finished.peak = takePeak(finished.audio, finished.frames, run.plan.channels);
    return finished;
}

// Whether the files hold integers, which a sample past full scale clips in.
bool integerSamples(const ExportSettings &settings) {
    return settings.fileType == kExportSoundFont || settings.sampleFormat != kWavDepthFloat;
}

// What the instances rendering an export share: the turns of the takes, and what
// the hand-over in the plan's order keeps (under the lock, one take at a time).
struct TakeHandOver {
    ExportRun *run;
    TakeSink *sink;
    TakeSpool spool;
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE turn;  // a take went to the files, or the export stopped
    int waiting;              // instances waiting for their turn (a wake-up costs a call into the system)
    TakeTurns turns;
    float loudest;
    uint64_t lastDigest;  // of the take before, for the variation after it
    uint32_t lastFrames;
};

// A finished take at its turn: a variation the same as the one before it, bit for
// bit, is left out (the instrument did not vary); with Normalise held back, else
// handed to the sink. Under the lock.
void handTake(TakeHandOver &h, const FinishedTake &finished, bool unpitched, bool noPeriod) {
    ExportRun &run = *h.run;
    ExportReport &report = run.report;
    const PlannedTake &take = *finished.planned;
    if (unpitched) report.unpitched++;
    if (noPeriod) report.chordsWithoutPeriod++;
    if (run.settings.loop && !finished.loop.found) report.unlooped++;
    if (run.plan.variations > 1) {
        const uint64_t digest = takeDigest(finished.audio, finished.frames);
        const bool same = take.variation > 0 && digest == h.lastDigest && finished.frames == h.lastFrames;
        h.lastDigest = digest;
        h.lastFrames = finished.frames;
        if (same) {
            report.variationsDropped++;
            h.sink->drop(take, report);
            return;
        }
    }
    if (finished.peak > h.loudest) h.loudest = finished.peak;
    if (run.settings.normalise) {
        spoolTake(h.spool, finished);
    } else {
        if (finished.peak > 1.0f && integerSamples(run.settings)) report.clipped++;
        h.sink->add(finished, report);
    }
}

// One instance's share of the takes: claims the next take of the plan, renders and
// shapes it, waits for its turn and hands it over, until no take is left or the
// export stopped. A take cut short (cancelled) stops the export at its turn, so that
// every take before it is still written.
void renderShare(TakeHandOver &h, TakeRenderer &r) {
    ExportRun &run = *h.run;
    for (;;) {
        int count = 0;
        EnterCriticalSection(&h.lock);
        const int first = claimTakes(h.turns, &count);
        LeaveCriticalSection(&h.lock);
        if (first < 0) return;
        for (int index = first; index < first + count; ++index) {
            EnterCriticalSection(&h.lock);
            // Told under the lock: the progress hears 1, 2, 3 ... whichever instance starts.
            if (!h.turns.stopped && run.control.takeStarted)
                run.control.takeStarted(run.control.context, ++h.turns.told, run.plan.takeCount);
            LeaveCriticalSection(&h.lock);
            const bool rendered = resetPluginForTake(r) && renderTake(r, run.plan, run.plan.takes[index]);
            bool unpitched = false, noPeriod = false;
            FinishedTake finished = {};
            if (rendered) finished = finishTake(run, r, index + 1, &unpitched, &noPeriod);
            EnterCriticalSection(&h.lock);
            while (!h.turns.stopped && !takesTurn(h.turns, index)) {
                h.waiting++;
                SleepConditionVariableCS(&h.turn, &h.lock, INFINITE);
                h.waiting--;
            }
            const bool stopped = h.turns.stopped;
            if (!stopped && !rendered) {
                h.turns.stopped = true;
                run.report.cancelled = true;
                h.sink->cancel(run.report);
            } else if (!stopped) {
                handTake(h, finished, unpitched, noPeriod);
                takeHanded(h.turns);
            }
            if (h.waiting) WakeAllConditionVariable(&h.turn);
            LeaveCriticalSection(&h.lock);
            if (stopped || !rendered) return;
        }
    }
}

struct ShareOf {
    TakeHandOver *handOver;
    TakeRenderer *renderer;
};

DWORD WINAPI shareThread(void *context) {
    ShareOf &share = *(ShareOf *)context;
    renderShare(*share.handOver, *share.renderer);
    return 0;
}

// The take loop over the renderers: the first renders on this thread, each other on
// a thread of its own (at this thread's priority); a renderer without a thread renders
// nothing. With Normalise the takes are held back until the last one is rendered, then
// handed over with one gain that brings the set's loudest sample to -1 dBFS.
void runTakes(ExportRun &run, TakeSink &sink, TakeRenderer *const *renderers, int count) {
    ExportReport &report = run.report;
    TakeHandOver h = {};
    h.run = &run;
    h.sink = &sink;
    DWORD error = 0;
    char where[MAX_PATH];
    if (run.settings.normalise && !openTakeSpool(h.spool, run.plan.takeCount, &error, where)) {
        // Nothing can be held back for the set's gain: nothing is written, for the reason.
        report.planned++;
        reportFailure(report, kNotWritten, where[0] ? where : report.fileName, error);
        return;
    }
    if (!sink.begin(run.settings, run.plan, run.control.memory, report)) {
        closeTakeSpool(h.spool);
        return;
    }
    InitializeCriticalSection(&h.lock);
    InitializeConditionVariable(&h.turn);
    h.turns = takeTurns(run.plan.takeCount, run.plan.variations);
    ShareOf shares[kMaxExportInstances];
    HANDLE threads[kMaxExportInstances];
    int started = 0;
    for (int i = 1; i < count && i < kMaxExportInstances; ++i) {
        shares[started] = ShareOf{&h, renderers[i]};
        HANDLE thread = CreateThread(nullptr, 0, shareThread, &shares[started], CREATE_SUSPENDED, nullptr);
        if (!thread) break;
        SetThreadPriority(thread, GetThreadPriority(GetCurrentThread()));
        ResumeThread(thread);
        threads[started++] = thread;
    }
    renderShare(h, *renderers[0]);
    if (started) WaitForMultipleObjects((DWORD)started, threads, TRUE, INFINITE);
    for (int i = 0; i < started; ++i) CloseHandle(threads[i]);
    DeleteCriticalSection(&h.lock);
    if (h.turns.stopped) {
        closeTakeSpool(h.spool);
        return;
    }
    if (run.settings.normalise) {
        const float gain = normalisingGain(h.loudest);
        report.normalised = true;
        report.gainDb = (float)(20.0 * std::log10(gain));
        for (int i = 0; i < h.spool.count; ++i) {
            h.spool.takes[i].gain = gain;
            sink.add(h.spool.takes[i], report);
        }
        closeTakeSpool(h.spool);
    }
    sink.finish(report);
}

// The probe's takes: the plan's first take, its hold at most a quarter of a second and
// its release at most a tenth.
ExportTiming probeTiming(const ExportTiming &timing) {
    ExportTiming probe = timing;
    if (probe.holdFrames > timing.rate / 4) probe.holdFrames = timing.rate / 4;
    if (probe.releaseFrames > timing.rate / 10) probe.releaseFrames = timing.rate / 10;
    probe.totalFrames = probe.holdFrames + probe.releaseFrames;
    return probe;
}

enum ProbeVerdict { kProbeFaithful, kProbeDiffers, kProbeCancelled };

// A renderer for the probe's short takes. It takes the memory kept for the plan's takes
// (the first instance's slots, or the second's), which earlier exports have already
// touched, and renders the probe in its first frames; without kept memory, or with
// takes too long for memory, room for the probe's takes alone.
bool openProbeRenderer(TakeRenderer &r, PluginInstance *plugin, const ExportRun &run, const ExportTiming &probe,
                       bool second) {
    if (run.control.memory) {
        if (openTakeRenderer(r, plugin, run.plan, run.control.takeBudget, run.control.memory, run.control.cancel,
                             second) &&
            r.audio.memory[0]) {
            r.timing = probe;  // shorter than the plan's takes: within the room
            return true;
        }
        closeTakeRenderer(r);
    }
    return openTakeRenderer(r, plugin, probe, run.plan.midiChannel, run.control.takeBudget, nullptr,
                            run.control.cancel) &&
           r.audio.memory[0];
}

// Renders the probe take twice on the live instance and once on the export instance
// and compares them; *nsPerFrame: what the export instance's take cost. A probe that
// cannot be held in memory counts as different. The live renderer's take memory must
// have been given back (closed) before.
ProbeVerdict probeInstance(ExportRun &run, PluginInstance *instance, double *nsPerFrame) {
    *nsPerFrame = 0.0;
    const ExportTiming timing = probeTiming(run.plan.timing);
    const PlannedTake &take = run.plan.takes[0];
    TakeRenderer renderers[2];
    bool ok = openProbeRenderer(renderers[0], &gPlugin, run, timing, false);
    ok = openProbeRenderer(renderers[1], instance, run, timing, true) && ok;
    TakeRenderer &live = renderers[0];
    TakeRenderer &other = renderers[1];
    const size_t bytes = (size_t)timing.totalFrames * sizeof(float);
    ProbeVerdict verdict = kProbeDiffers;
    if (ok) {
        // The live instance's first take waits in the sums, which the probe does not use.
        float *first[2] = {live.sum, other.sum};
        bool rendered = resetPluginForTake(live) && renderTake(live, run.plan, take);
        for (int c = 0; c < 2 && rendered; ++c) memcpy(first[c], live.audio.memory[c], bytes);
        rendered = rendered && resetPluginForTake(live) && renderTake(live, run.plan, take);
        rendered = rendered && resetPluginForTake(other);
        // Fresh memory's first touch (a page fault per page, tens of microseconds each
        // under some systems) is no cost of the instrument's: the blocks the take fills
        // are touched before it is timed.
        const size_t room = ((size_t)timing.totalFrames + (size_t)other.latency + kExportBlock - 1) / kExportBlock *
                            kExportBlock * sizeof(float);
        for (float *channel : other.rendered) memset(channel, 0, room);
        LARGE_INTEGER start, end, frequency;
        QueryPerformanceCounter(&start);
        rendered = rendered && renderTake(other, run.plan, take);
        QueryPerformanceCounter(&end);
        QueryPerformanceFrequency(&frequency);
        *nsPerFrame = timing.totalFrames > 0 ? (double)(end.QuadPart - start.QuadPart) * 1e9 / (double)frequency.QuadPart /
                                                   timing.totalFrames
                                             : 0.0;
        if (!rendered) {
            verdict = kProbeCancelled;
        } else {
            ProbeTakes takes = {{first[0], first[1]},
                                {live.audio.memory[0], live.audio.memory[1]},
                                {other.audio.memory[0], other.audio.memory[1]},
                                (size_t)timing.totalFrames};
            verdict = probeFaithful(takes) ? kProbeFaithful : kProbeDiffers;
        }
    }
    closeTakeRenderer(live);
    closeTakeRenderer(other);
    return verdict;
}

// The renderers the takes go through: the export instances' (after the probe, when
// more than one), else the live instance's. False when cancelled during the probe.
bool chooseRenderers(ExportRun &run, TakeRenderer **renderers, int *count) {
    renderers[0] = &run.renderer;
    *count = 1;
    run.report.instances = 0;
    if (run.instanceCount == 0) return true;
    // The live instance's take memory goes back first, for the probe's and the export
    // instances' renderers.
    closeTakeRenderer(run.renderer);
    if (run.instanceCount > 1) {
        double nsPerFrame = 0.0;
        const ProbeVerdict verdict = probeInstance(run, run.instances[0], &nsPerFrame);
        if (verdict == kProbeCancelled) return false;
        if (verdict == kProbeDiffers || !worthSharing(nsPerFrame)) {
            // Not to be trusted beside each other (said), or too cheap to gain: the first
            // alone, at the export's rate.
            closeExportInstances(run.instances + 1, run.instanceCount - 1);
            run.instanceCount = 1;
            if (verdict == kProbeDiffers) run.report.instanceNote = kInstancesDiffer;
        }
    }
    int opened = 0;
    for (int i = 0; i < run.instanceCount; ++i) {
        run.rendererOpen[i] = true;
        // The first two instances' take memory is kept for the next export; the others' is not.
        if (!openTakeRenderer(run.renderers[i], run.instances[i], run.plan, run.control.takeBudget,
                              i < 2 ? run.control.memory : nullptr, run.control.cancel, i == 1))
            break;
        renderers[opened++] = &run.renderers[i];
    }
    if (opened == 0) {
        // Without the buffers of even one: the live instance as before.
        openTakeRenderer(run.renderer, &gPlugin, run.plan, run.control.takeBudget, run.control.memory,
                         run.control.cancel);
        return true;
    }
    *count = opened;
    run.report.instances = opened;
    return true;
}

template <typename Sink>
void renderInto(ExportRun &run) {
    TakeRenderer *renderers[kMaxExportInstances];
    int count = 1;
    if (!chooseRenderers(run, renderers, &count)) {
        run.report.cancelled = true;
        return;
    }
    Sink sink;
    runTakes(run, sink, renderers, count);
}

}  // namespace

int openExportInstances(PluginInstance &live, int32_t rate, int count, PluginInstance **instances,
                        ExportInstanceNote *note) {
    *note = kInstancesAsAsked;
    if (!live.effect || count < 1) return 0;
    // The live sound, once, for every instance; an instrument with nothing to keep is given nothing.
    PluginState state;
    StateFailure taken = takePluginState(live.effect, true, state);
    if (!taken.ok() && taken.reason != kStateNothingToKeep) {
        *note = kInstancesStateRefused;
        return 0;
    }
    int opened = 0;
    for (int i = 0; i < count && i < kMaxExportInstances; ++i) {
        PluginInstance *instance = new (std::nothrow) PluginInstance();
        if (!instance || !instance->openAnother(live, (float)rate, kExportBlock)) {
            delete instance;
            if (i == 0) *note = kInstancesNotOpened;
            break;
        }
        if (taken.ok() && (!stateFitsPlugin(instance->effect, state).ok() ||
                           !givePluginState(instance->effect, state).ok())) {
            delete instance;  // closes it
            if (i == 0) *note = kInstancesStateRefused;
            break;
        }
        instance->resume();
        instances[opened++] = instance;
    }
    return opened;
}

void closeExportInstances(PluginInstance **instances, int count) {
    for (int i = 0; i < count; ++i) {
        delete instances[i];  // switched off and closed
        instances[i] = nullptr;
    }
}

float normalisingGain(float peak) {
    const double target = std::pow(10.0, -1.0 / 20.0);
    return peak > 0.0f ? (float)(target / peak) : 1.0f;
}

void beginExport(ExportRun &run, const ExportSettings &settings, const uint8_t *keySelection,
                 const ExportControl *control) {
    run.settings = settings;
    run.control = control ? *control : ExportControl{};
    run.report = ExportReport();
    memcpy(run.report.fileName, settings.fileName, sizeof run.report.fileName);
    run.report.fileName[kExportNameSize - 1] = '\0';
    planExport(settings, keySelection, run.plan);
    run.report.takes = run.plan.takeCount;
    run.report.chord = run.plan.chord;
    run.report.variations = run.plan.variations;
    run.report.firstVariationOnly = settings.variations > 1 && run.plan.variations == 1;
    bool engine = beginOfflineEngine(run.plan.timing.rate);
    bool renderer = openTakeRenderer(run.renderer, &gPlugin, run.plan, run.control.takeBudget, run.control.memory,
                                     run.control.cancel);
    run.ready = engine && renderer;
    for (bool &open : run.rendererOpen) open = false;
    run.instanceCount = 0;
    if (!run.ready || run.plan.takeCount == 0) return;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const int group = run.plan.variations > 1 ? run.plan.variations : 1;
    const int processors = run.control.maxInstances > 0 ? run.control.maxInstances : (int)system.dwNumberOfProcessors;
    const int count = exportInstanceCount(settings.instances == kInstancesAutomatic, processors,
                                          (run.plan.takeCount + group - 1) / group,
                                          run.renderer.takeBytes,
                                          run.control.takeBudget ? run.control.takeBudget : kTakeBudget);
    run.instanceCount = openExportInstances(gPlugin, run.plan.timing.rate, count, run.instances,
                                            &run.report.instanceNote);
}

void renderExport(ExportRun &run) {
    if (!run.ready) {
        // Without its buffers nothing can be rendered: every planned file is missing.
        reportFailure(run.report, kNotWritten, run.report.fileName, ERROR_NOT_ENOUGH_MEMORY);
        run.report.planned += 1;
        return;
    }
    switch (run.settings.fileType) {
    case kExportSfz:
        renderInto<SfzSink>(run);
        break;
    case kExportDecentSampler:
        renderInto<DsPresetSink>(run);
        break;
    case kExportSoundFont:
        renderInto<SoundFontSink>(run);
        break;
    default:
        renderInto<WavSink>(run);
        break;
    }
}

void endExport(ExportRun &run) {
    closeTakeRenderer(run.renderer);
    for (int i = 0; i < kMaxExportInstances; ++i)
        if (run.rendererOpen[i]) closeTakeRenderer(run.renderers[i]);
    closeExportInstances(run.instances, run.instanceCount);
    run.instanceCount = 0;
    endOfflineEngine();
}

ExportReport runExport(const ExportSettings &settings, const uint8_t *keySelection, const ExportControl *control) {
    ExportRun run;
    beginExport(run, settings, keySelection, control);
    renderExport(run);
    endExport(run);
    return run.report;
}
