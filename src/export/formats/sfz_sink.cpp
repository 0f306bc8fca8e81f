#include "export/formats/sfz_sink.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool SfzSink::begin(const ExportSettings &settings, const ExportPlan &plan, ExportMemory *memory,
                    ExportReport &report) {
    memory_ = memory;
    releaseMs_ = settings.releaseMs;
    layered_ = plan.layerCount > 1;
    added_ = 0;
    PathParts parts, samples;
    // The samples go into a folder of the .sfz's base name beside it.
    if (!nameSampleSet(settings, ".sfz", report, parts, samples)) return false;
    regions_ = (SfzRegion *)calloc((size_t)plan.takeCount + 1, sizeof(SfzRegion));
    paths_ = (char(*)[kPathLimit])calloc((size_t)plan.takeCount + 1, kPathLimit);
    if (!regions_ || !paths_) {
        reportFailure(report, kNotWritten, report.fileName, ERROR_NOT_ENOUGH_MEMORY);
        release();
        return false;
    }
    if (beginSampleSet(samples_, parts, samples, settings, plan, memory, report, relativeTo_, failedBefore_))
        return true;
    release();
    return false;
}

void SfzSink::add(const FinishedTake &take, ExportReport &report) {
    char path[kPathLimit];
    if (!addTakeWavFile(samples_, take, path, sizeof path, report)) return;
    char *relative = paths_[added_];
    samplePathInSet(path, relativeTo_, relative, kPathLimit);
    const PlannedTake &planned = *take.planned;
    regions_[added_++] = SfzRegion{relative,          planned.lowKey,     planned.highKey, planned.rootKey,
                                   planned.layer.low, planned.layer.high, take.loop.found, take.loop.start,
                                   take.loop.end,     take.tuningCents,      0,               0,
                                   take.levelDb,      layered_,              0.0f};
}

void SfzSink::finish(ExportReport &report) {
    finishTakeWavFiles(samples_, report);
    if (added_ == 0) {
        // Without a sample there is nothing to map: the failures of the samples say why.
        report.planned--;
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
    const size_t lineRoom = kSfzRegionRoom + kPathLimit;
    size_t size = 256 + (size_t)added_ * lineRoom;
    char *text = (char *)malloc(size);
    if (!text) {
        reportFailure(report, kNotWritten, report.fileName, ERROR_NOT_ENOUGH_MEMORY);
        release();
        return;
    }
    numberVariations(regions_, added_);
    if (layered_) levelVelocityCurves(regions_, added_);
    size_t used = formatSfzHead(text, size, releaseMs_);
    for (int i = 0; i < added_; ++i) used += formatSfzRegion(text + used, size - used, regions_[i]);
    writeSetText(report.fileName, text, used, memory_, report);
    free(text);
    release();
}

void SfzSink::cancel(ExportReport &report) {
    finishTakeWavFiles(samples_, report);
    release();
}

void SfzSink::release() {
    free(paths_);
    free(regions_);
    paths_ = nullptr;
    regions_ = nullptr;
}
