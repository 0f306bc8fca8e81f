#include "export/formats/wav_sink.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool beginTakeWavFiles(TakeWavFiles &wavs, const PathParts &parts, const ExportSettings &settings,
                       const ExportPlan &plan, bool samplerChunks, ExportMemory *memory, ExportReport &report) {
    wavs.samplerChunks = samplerChunks;
    wavs.typedName = settings.fileName;
    wavs.parts = parts;
    wavs.depth = settings.sampleFormat;
    wavs.channels = plan.channels;
    wavs.rate = plan.timing.rate;
    wavs.files = plan.takeCount;
    wavs.outputs = nullptr;
    report.planned += wavs.files;
    char folder[2 * kPathLimit];
    snprintf(folder, sizeof folder, "%s%s", parts.drive, parts.folder);
    unsigned long error = 0;
    if (!folderExists(folder, &error)) {
        // Every file would fail to be created: each is named as it would have been.
        for (int i = 0; i < wavs.files; ++i) {
            char path[kPathLimit];
            const PlannedTake &take = plan.takes[i];
            if (keyFileName(path, sizeof path, parts, take.namedKey, take.namedVelocity, take.namedVariation))
                reportFailure(report, kNotCreated, path, error);
            else
                reportFailure(report, kNameTooLong, wavs.typedName, 0);
        }
        return false;
    }
    wavs.outputs = (ExportOutput *)calloc((size_t)wavs.files + 1, sizeof(ExportOutput));
    if (!wavs.outputs) {
        reportFailure(report, kNotWritten, report.fileName, ERROR_NOT_ENOUGH_MEMORY, wavs.files);
        return false;
    }
    if (startExportOutput(wavs.writer, wavs.files, memory, report)) return true;
    free(wavs.outputs);
    wavs.outputs = nullptr;
    return false;
}

bool addTakeWavFile(TakeWavFiles &wavs, const FinishedTake &take, char *path, size_t size, ExportReport &report) {
    if (!keyFileName(path, size, wavs.parts, take.planned->namedKey, take.planned->namedVelocity,
                     take.planned->namedVariation)) {
        reportFailure(report, kNameTooLong, wavs.typedName, 0);
        return false;
    }
    ExportOutput &out = wavs.outputs[take.ordinal - 1];
    const WavSamplerData sampler = takeSamplerData(take);
    writeTakeWav(wavs.writer, out, path, take, wavs.channels, wavs.depth, wavs.rate,
                 wavs.samplerChunks ? &sampler : nullptr, report);
    return out.opened;
}

void finishTakeWavFiles(TakeWavFiles &wavs, ExportReport &report) {
    finishExportOutput(wavs.writer, wavs.outputs, wavs.files, report);
    free(wavs.outputs);
    wavs.outputs = nullptr;
}

bool sampleFolderParts(const PathParts &parts, PathParts &samples) {
    samples = parts;
    size_t folderLength = strlen(parts.folder);
    int n = snprintf(samples.folder, sizeof samples.folder, "%s%s%s\\", parts.folder,
                     folderLength && !isPathSeparator(parts.folder[folderLength - 1]) ? "\\" : "", parts.base);
    return n >= 0 && (size_t)n < sizeof samples.folder;
}

bool beginSetSamples(TakeWavFiles &wavs, const PathParts &samples, const ExportSettings &settings,
                     const ExportPlan &plan, ExportMemory *memory, ExportReport &report) {
    char folder[2 * kPathLimit];
    snprintf(folder, sizeof folder, "%s%s", samples.drive, samples.folder);
    CreateDirectoryA(folder, nullptr);
    return beginTakeWavFiles(wavs, samples, settings, plan, true, memory, report);
}

bool nameSampleSet(const ExportSettings &settings, const char *extension, ExportReport &report, PathParts &parts,
                   PathParts &samples) {
    splitPath(settings.fileName, parts);
    report.planned++;  // the set's own file
    bool named = renameStored(report, parts, extension);
    if (!named || !sampleFolderParts(parts, samples)) {
        reportFailure(report, kNameTooLong, settings.fileName, 0);
        return false;
    }
    return true;
}

bool beginSampleSet(TakeWavFiles &wavs, const PathParts &parts, const PathParts &samples,
                    const ExportSettings &settings, const ExportPlan &plan, ExportMemory *memory,
                    ExportReport &report, size_t &relativeTo, int &failedBefore) {
    relativeTo = strlen(parts.drive) + strlen(parts.folder);
    failedBefore = report.failed();
    if (beginSetSamples(wavs, samples, settings, plan, memory, report)) return true;
    report.planned--;
    return false;
}

void samplePathInSet(const char *path, size_t prefix, char *out, size_t size) {
    snprintf(out, size, "%s", strlen(path) > prefix ? path + prefix : path);
    for (char *c = out; *c; ++c)
        if (*c == '\\') *c = '/';
}

bool WavSink::begin(const ExportSettings &settings, const ExportPlan &plan, ExportMemory *memory,
                    ExportReport &report) {
    PathParts parts;
    splitPath(settings.fileName, parts);
    renameStored(report, parts, ".wav");
    return beginTakeWavFiles(wavs_, parts, settings, plan, settings.wavKeyData, memory, report);
}

void WavSink::add(const FinishedTake &take, ExportReport &report) {
    char path[kPathLimit];
    addTakeWavFile(wavs_, take, path, sizeof path, report);
}

void WavSink::finish(ExportReport &report) { finishTakeWavFiles(wavs_, report); }

void WavSink::cancel(ExportReport &report) { finishTakeWavFiles(wavs_, report); }
