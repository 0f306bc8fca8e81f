#include "export/formats/dspreset_sink.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

bool DsPresetSink::begin(const ExportSettings &settings, const ExportPlan &plan, ExportMemory *memory,
                         ExportReport &report) {
    memory_ = memory;
    releaseMs_ = settings.releaseMs;
    layers_ = plan.layerCount > 0 ? plan.layerCount : 1;
    added_ = 0;
    PathParts parts, samples;
    if (!nameSampleSet(settings, ".dspreset", report, parts, samples)) return false;
    entries_ = (DsSample *)calloc((size_t)plan.takeCount + 1, sizeof(DsSample));
    paths_ = (char(*)[3 * kPathLimit])calloc((size_t)plan.takeCount + 1, 3 * kPathLimit);
    if (!entries_ || !paths_) {
        reportFailure(report, kNotWritten, report.fileName, ERROR_NOT_ENOUGH_MEMORY);
        release();
        return false;
    }
    if (beginSampleSet(samples_, parts, samples, settings, plan, memory, report, relativeTo_, failedBefore_))
        return true;
    release();
    return false;
}

void DsPresetSink::add(const FinishedTake &take, ExportReport &report) {
    char path[kPathLimit];
    if (!addTakeWavFile(samples_, take, path, sizeof path, report)) return;
    // The preset is UTF-8; the program's paths are in the ANSI code page.
    char relative[kPathLimit];
    samplePathInSet(path, relativeTo_, relative, sizeof relative);
    wchar_t wide[kPathLimit];
    char *utf8 = paths_[added_];
    if (!MultiByteToWideChar(CP_ACP, 0, relative, -1, wide, kPathLimit) ||
        !WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, 3 * kPathLimit, nullptr, nullptr))
        utf8[0] = '\0';
    const PlannedTake &planned = *take.planned;
    entries_[added_++] = DsSample{utf8,           planned.rootKey, planned.lowKey,     planned.highKey,
                                  planned.layer.low, planned.layer.high, planned.layerIndex, take.loop.found,
                                  take.loop.start, take.loop.end, take.tuningCents, 0, 0,
                                  take.levelDb,    0.0f};
}

void DsPresetSink::finish(ExportReport &report) {
    finishTakeWavFiles(samples_, report);
    if (added_ == 0) {
        report.planned--;  // nothing to map: the failures of the samples say why
        release();
        return;
    }
    if (report.failed() > failedBefore_) {
        // A set with samples missing gets no index file that would name them; the
        // samples written stay.
        reportFailure(report, kSetIncomplete, report.fileName, 0);
        release();
        return;
    }
    numberVariations(entries_, added_);
    if (layers_ > 1) levelVelocityCurves(entries_, added_);
    size_t size = dsPresetRoom(added_, layers_);
    char *text = (char *)malloc(size);
    size_t used = text ? formatDsPreset(text, size, entries_, added_, layers_, releaseMs_) : 0;
    if (used == 0)
        reportFailure(report, kNotWritten, report.fileName, text ? 0 : ERROR_NOT_ENOUGH_MEMORY);
    else
        writeSetText(report.fileName, text, used, memory_, report);
    free(text);
    release();
}

void DsPresetSink::cancel(ExportReport &report) {
    finishTakeWavFiles(samples_, report);
    release();
}

void DsPresetSink::release() {
    free(paths_);
    free(entries_);
    paths_ = nullptr;
    entries_ = nullptr;
}
