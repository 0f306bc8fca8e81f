#include "export/formats/wav_sink.h"

#include <cstdio>
#include <cstdlib>

bool beginTakeWavFiles(TakeWavFiles &wavs, const PathParts &parts, const ExportSettings &settings,
                       const ExportPlan &plan, ExportMemory *memory, ExportReport &report) {
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
            if (keyFileName(path, sizeof path, parts, take.namedKey, take.namedVelocity))
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
    if (!keyFileName(path, size, wavs.parts, take.planned->namedKey, take.planned->namedVelocity)) {
        reportFailure(report, kNameTooLong, wavs.typedName, 0);
        return false;
    }
    ExportOutput &out = wavs.outputs[take.ordinal - 1];
    writeTakeWav(wavs.writer, out, path, take, wavs.channels, wavs.depth, wavs.rate, report);
    return out.opened;
}

void finishTakeWavFiles(TakeWavFiles &wavs, ExportReport &report) {
    finishExportOutput(wavs.writer, wavs.outputs, wavs.files, report);
    free(wavs.outputs);
    wavs.outputs = nullptr;
}

bool WavSink::begin(const ExportSettings &settings, const ExportPlan &plan, ExportMemory *memory,
                    ExportReport &report) {
    PathParts parts;
    splitPath(settings.fileName, parts);
    renameStored(report, parts, ".wav");
    return beginTakeWavFiles(wavs_, parts, settings, plan, memory, report);
}

void WavSink::add(const FinishedTake &take, ExportReport &report) {
    char path[kPathLimit];
    addTakeWavFile(wavs_, take, path, sizeof path, report);
}

void WavSink::finish(ExportReport &report) { finishTakeWavFiles(wavs_, report); }

void WavSink::cancel(ExportReport &report) { finishTakeWavFiles(wavs_, report); }
