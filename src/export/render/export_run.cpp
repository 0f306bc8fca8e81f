#include "export/render/export_run.h"

#include <cmath>
#include <cstring>

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
// period, else its key's; a chord's at the period its keys share) and tail as the choices ask; a take through the temporary
// files is written as rendered. A loop asked for and not found, and a key's take
// with no pitch, are counted.
FinishedTake finishTake(ExportRun &run, TakeRenderer &r, int ordinal) {
    const PlannedTake &take = run.plan.takes[ordinal - 1];
    const ExportTiming &timing = run.plan.timing;
    const uint32_t frames = (uint32_t)timing.totalFrames;
    FinishedTake finished = {&take, ordinal, r.audio, frames, SustainLoop{false, 0, 0, 1.0f, 1.0f},
                             takeComplete(r), 0, 0.0f, 1.0f, NAN};
    if (r.audio.memory[0]) {
        uint32_t from, to;
        heldPart(noteOffFrame(timing), timing.totalFrames, from, to);
        sumChannels(r.audio.memory, to, r.sum);
        finished.levelDb = heldLevelDb(r.sum, from, to);
        double period = keyPeriod(take.rootKey, timing.rate);
        if (run.plan.chord) {
            // A chord loops at the period its keys share; without one it has no loop to find.
            period = chordPeriod(run.plan.keys, run.plan.keyCount, timing.rate, to - from);
            if (period == 0.0 && run.settings.loop) run.report.chordsWithoutPeriod++;
        } else {
            MeasuredPitch pitch = measurePitch(r.sum, from, to, period);
            if (pitch.found) period = pitch.period;
            else run.report.unpitched++;
            finished.tuningCents = tuningCents(pitch);
        }
        TakeShape shape = shapeTake(r.audio.memory, frames, noteOffFrame(timing), period, timing.rate,
                                    run.settings.loop && period > 0.0, run.settings.trim, r.sum);
        finished.frames = shape.frames;
        finished.loop = shape.loop;
    }
    if (run.settings.loop && !finished.loop.found) run.report.unlooped++;
    finished.peak = takePeak(finished.audio, finished.frames, run.plan.channels);
    return finished;
}

// Whether the files hold integers, which a sample past full scale clips in.
bool integerSamples(const ExportSettings &settings) {
    return settings.fileType == kExportSoundFont || settings.sampleFormat != kWavDepthFloat;
}

// The take loop: each take reported, rendered, shaped and handed over in the plan's
// order. With Normalise the takes are held back until the last one is rendered, then
// handed over with one gain that brings the set's loudest sample to -1 dBFS.
void runTakes(ExportRun &run, TakeSink &sink) {
    ExportReport &report = run.report;
    TakeSpool spool = {};
    DWORD error = 0;
    char where[MAX_PATH];
    if (run.settings.normalise && !openTakeSpool(spool, run.plan.takeCount, &error, where)) {
        // Nothing can be held back for the set's gain: nothing is written, for the reason.
        report.planned++;
        reportFailure(report, kNotWritten, where[0] ? where : report.fileName, error);
        return;
    }
    if (!sink.begin(run.settings, run.plan, run.control.memory, report)) {
        closeTakeSpool(spool);
        return;
    }
    TakeRenderer &r = run.renderer;
    float loudest = 0.0f;
    uint64_t lastDigest = 0;  // of the take before, for the variation after it
    uint32_t lastFrames = 0;
    for (int i = 0; i < run.plan.takeCount; ++i) {
        const PlannedTake &take = run.plan.takes[i];
        if (run.control.takeStarted) run.control.takeStarted(run.control.context, i + 1, run.plan.takeCount);
        if (!resetPluginForTake(r) || !renderTake(r, run.plan, take)) {
            report.cancelled = true;
            sink.cancel(report);
            closeTakeSpool(spool);
            return;
        }
        FinishedTake finished = finishTake(run, r, i + 1);
        // A variation the same as the one before it, bit for bit, is left out: the
        // instrument did not vary.
        if (run.plan.variations > 1) {
            const uint64_t digest = takeDigest(finished.audio, finished.frames);
            const bool same = take.variation > 0 && digest == lastDigest && finished.frames == lastFrames;
            lastDigest = digest;
            lastFrames = finished.frames;
            if (same) {
                report.variationsDropped++;
                sink.drop(take, report);
                continue;
            }
        }
        if (finished.peak > loudest) loudest = finished.peak;
        if (run.settings.normalise) {
            spoolTake(spool, finished);
        } else {
            if (finished.peak > 1.0f && integerSamples(run.settings)) report.clipped++;
            sink.add(finished, report);
        }
    }
    if (run.settings.normalise) {
        const float gain = normalisingGain(loudest);
        report.normalised = true;
        report.gainDb = (float)(20.0 * std::log10(gain));
        for (int i = 0; i < spool.count; ++i) {
            spool.takes[i].gain = gain;
            sink.add(spool.takes[i], report);
        }
        closeTakeSpool(spool);
    }
    sink.finish(report);
}

}  // namespace

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
}

void renderExport(ExportRun &run) {
    if (!run.ready) {
        // Without its buffers nothing can be rendered: every planned file is missing.
        reportFailure(run.report, kNotWritten, run.report.fileName, ERROR_NOT_ENOUGH_MEMORY);
        run.report.planned += 1;
        return;
    }
    switch (run.settings.fileType) {
    case kExportSfz: {
        SfzSink sink;
        runTakes(run, sink);
        break;
    }
    case kExportDecentSampler: {
        DsPresetSink sink;
        runTakes(run, sink);
        break;
    }
    case kExportSoundFont: {
        SoundFontSink sink;
        runTakes(run, sink);
        break;
    }
    default: {
        WavSink sink;
        runTakes(run, sink);
        break;
    }
    }
}

void endExport(ExportRun &run) {
    closeTakeRenderer(run.renderer);
    endOfflineEngine();
}

ExportReport runExport(const ExportSettings &settings, const uint8_t *keySelection, const ExportControl *control) {
    ExportRun run;
    beginExport(run, settings, keySelection, control);
    renderExport(run);
    endExport(run);
    return run.report;
}
