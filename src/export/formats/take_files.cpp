#include "export/formats/take_files.h"

#include <windows.h>

#include <cstring>

#include "core/raw_file.h"
#include "export/formats/sample_names.h"
#include "export/takes/export_report.h"
#include "export/takes/finished_take.h"

void encodeTakeChunk(const float *left, const float *right, int frames, int channels, WavDepth depth,
                     uint8_t *out) {
    if (channels == 2) {
        const float *both[2] = {left, right};
        encodeFrames(both, 2, frames, depth, out);
        return;
    }
    float mix[kTakeReadFrames];
    for (int done = 0; done < frames;) {
        int n = frames - done < kTakeReadFrames ? frames - done : kTakeReadFrames;
        mixToMono(left + done, right + done, mix, n);
        const float *one[1] = {mix};
        encodeFrames(one, 1, n, depth, out + (size_t)done * (size_t)wavBytesPerSample(depth));
        done += n;
    }
}

void splitPoints24(const uint8_t *packed, int points, uint8_t *upper, uint8_t *lower) {
    for (int i = 0; i < points; ++i) {
        lower[i] = packed[3 * i];
        upper[2 * i] = packed[3 * i + 1];
        upper[2 * i + 1] = packed[3 * i + 2];
    }
}

namespace {

// The frames multiplied by gain into scratch (which they may be in already); the
// frames themselves for a gain of 1.
const float *scaled(const float *frames, int count, float gain, float *scratch) {
    if (gain == 1.0f) return frames;
    for (int i = 0; i < count; ++i) scratch[i] = frames[i] * gain;
    return scratch;
}

}  // namespace

void appendTakeSamples(OutputWriter &writer, OutputFile &file, const FinishedTake &take, TakeSide side,
                       WavDepth depth, uint32_t frames, uint8_t *lowBytes) {
    const int channels = side == kBothSides ? 2 : 1;
    const bool split = lowBytes && depth == kWavDepth24 && channels == 1;
    const size_t frameBytes = (size_t)channels * (size_t)wavBytesPerSample(depth);
    float left[kTakeReadFrames], right[kTakeReadFrames];
    uint8_t packed[kTakeReadFrames * 3];
    for (uint32_t done = 0; done < frames;) {
        uint32_t remaining = frames - done;
        int n = remaining < (uint32_t)kTakeReadFrames ? (int)remaining : kTakeReadFrames;
        uint8_t *out = split ? packed : outputRoom(writer, file, (size_t)n * frameBytes);
        if (side == kLeftSide || side == kRightSide) {
            const float *one[1] = {scaled(readTakeFrames(take.audio, side == kRightSide, done, n, left), n,
                                          take.gain, left)};
            encodeFrames(one, 1, n, depth, out);
        } else {
            const float *l = scaled(readTakeFrames(take.audio, 0, done, n, left), n, take.gain, left);
            const float *r = scaled(readTakeFrames(take.audio, 1, done, n, right), n, take.gain, right);
            encodeTakeChunk(l, r, n, channels, depth, out);
        }
        if (split) splitPoints24(packed, n, outputRoom(writer, file, (size_t)n * 2), lowBytes + done);
        done += (uint32_t)n;
    }
}

bool startExportOutput(OutputWriter &writer, int files, ExportMemory *memory, ExportReport &report) {
    if (startOutputWriter(writer, files > 1, memory)) return true;
    // Without memory for the pieces nothing is written.
    reportFailure(report, kNotWritten, report.fileName, ERROR_NOT_ENOUGH_MEMORY, files);
    return false;
}

int finishExportOutput(OutputWriter &writer, const ExportOutput *outputs, int count, ExportReport &report) {
    stopOutputWriter(writer);
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        const ExportOutput &out = outputs[i];
        if (!out.opened || out.removed) continue;
        if (out.file.failed || out.incomplete) {
            // One whose writes failed was removed at its close; one padded with silence
            // where frames were lost stays, a complete file, and is named.
            reportFailure(report, kNotWritten, out.file.path, (unsigned long)out.file.error);
            ++failed;
        } else {
            report.written++;
        }
    }
    return failed;
}

bool openExportOutput(ExportOutput &out, const char *path, ExportReport &report) {
    DWORD error = 0;
    out.opened = openOutput(out.file, path, &error);
    if (!out.opened) reportFailure(report, kNotCreated, path, error);
    return out.opened;
}

WavSamplerData takeSamplerData(const FinishedTake &take) {
    const PlannedTake &planned = *take.planned;
    return WavSamplerData{planned.rootKey,     (double)take.tuningCents, planned.lowKey,  planned.highKey,
                          planned.layer.low,  planned.layer.high,       take.loop.found, take.loop.start,
                          take.loop.end};
}

void writeTakeWav(OutputWriter &writer, ExportOutput &out, const char *path, const FinishedTake &take,
                  int channels, WavDepth depth, int32_t rate, const WavSamplerData *sampler, ExportReport &report) {
    if (!openExportOutput(out, path, report)) return;
    WavFormat format = wavFormatFor(depth, channels, rate);
    uint8_t header[kMaxWavHeaderSize];
    outputBytes(writer, out.file, header, buildWavHeader(header, format, (uint64_t)take.frames, sampler));
    // Frames the temporary files lost are padded with silence but the file is reported.
    out.incomplete = !take.complete;
    appendTakeSamples(writer, out.file, take, channels == 2 ? kBothSides : kMonoMix, depth, take.frames);
    closeOutput(writer, out.file, false);
}

void writeSetText(const char *path, const char *text, size_t length, ExportMemory *memory, ExportReport &report) {
    OutputWriter writer;
    if (!startOutputWriter(writer, false, memory)) {
        reportFailure(report, kNotWritten, path, ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    ExportOutput out = {};
    if (openExportOutput(out, path, report)) {
        outputBytes(writer, out.file, text, length);
        closeOutput(writer, out.file, false);
    }
    finishExportOutput(writer, &out, 1, report);
}

bool folderExists(const char *path, unsigned long *error) {
    char folder[kPathLimit];
    folderOfPath(path, folder, sizeof folder);
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    // What creating a file in it would give.
    if (error) *error = ERROR_PATH_NOT_FOUND;
    return false;
}
