#include "export/sample_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "export/export_run.h"
#include "export/offline_render.h"
#include "midi/midi_keys.h"

namespace {

const char *const kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

// Copies [begin, end) into out (room for size), cut to fit.
void copyPart(char *out, size_t size, const char *begin, const char *end) {
    size_t n = (size_t)(end - begin);
    if (n >= size) n = size - 1;
    memcpy(out, begin, n);
    out[n] = '\0';
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The take's samples after the header, in the depth's encoding, into the file's pieces.
void appendTakeWav(OfflineRender &render, OutputWriter &writer, OutputFile &file, WavDepth depth) {
    int channels = render.channels;
    size_t frameBytes = (size_t)channels * (size_t)wavBytesPerSample(depth);
    float left[kTakeChunk], right[kTakeChunk];
    rewindTake(render);
    for (int32_t done = 0; done < render.timing.totalFrames;) {
        int32_t remaining = render.timing.totalFrames - done;
        int n = remaining < kTakeChunk ? (int)remaining : kTakeChunk;
        const float *l = takePoints(render, 0, done, n, left);
        const float *r = takePoints(render, 1, done, n, right);
        encodeTakeChunk(l, r, n, channels, depth, outputRoom(writer, file, (size_t)n * frameBytes));
        done += n;
    }
}

// One WAV file: create, header (complete before any sample: it announces the take's
// total frames), render the keys, fill, close. False when the export was cancelled
// while the take rendered: the file is removed then. A file that cannot be created
// is counted and nothing is rendered for it.
bool writeOneWav(OfflineRender &render, OutputWriter &writer, ExportOutput &out, const char *path, WavDepth depth,
                 const uint8_t *keys, int count, ExportReport &report) {
    DWORD error = 0;
    if (!openOutput(out.file, path, &error)) {
        report.notCreated++;
        noteExportFailure(report, path, error);
        return true;
    }
    out.opened = true;
    WavFormat format = wavFormatFor(depth, render.channels, render.timing.rate);
    uint8_t header[kMaxWavHeaderSize];
    outputBytes(writer, out.file, header, buildWavHeader(header, format, (uint64_t)render.timing.totalFrames));
    if (!renderTake(render, keys, count)) {
        closeOutput(writer, out.file, true);
        out.removed = true;
        return false;
    }
    // Frames the temporary files lost are padded with silence but the file is reported.
    out.incomplete = !takeComplete(render);
    appendTakeWav(render, writer, out.file, depth);
    closeOutput(writer, out.file, false);
    return true;
}

}  // namespace

void splitPath(const char *path, PathParts &parts) {
    const char *p = path;
    if (p[0] && p[1] == ':') {
        copyPart(parts.drive, sizeof parts.drive, p, p + 2);
        p += 2;
    } else {
        parts.drive[0] = '\0';
    }
    const char *end = p + strlen(p);
    const char *afterFolder = p;
    for (const char *q = p; q < end; ++q)
        if (isSeparator(*q)) afterFolder = q + 1;
    copyPart(parts.folder, sizeof parts.folder, p, afterFolder);
    const char *dot = nullptr;
    for (const char *q = afterFolder; q < end; ++q)
        if (*q == '.') dot = q;
    if (!dot) dot = end;
    copyPart(parts.base, sizeof parts.base, afterFolder, dot);
    copyPart(parts.extension, sizeof parts.extension, dot, end);
}

bool placeExportName(const char *name, const char *defaultFolder, char *out, size_t size) {
    bool ownFolder = (name[0] && name[1] == ':') || isSeparator(name[0]);
    size_t folderLength = ownFolder ? 0 : strlen(defaultFolder);
    const char *slash = folderLength && !isSeparator(defaultFolder[folderLength - 1]) ? "\\" : "";
    int n = snprintf(out, size, "%s%s%s", ownFolder ? "" : defaultFolder, ownFolder ? "" : slash, name);
    if (n < 0 || (size_t)n >= size) {
        if (size) out[0] = '\0';
        return false;
    }
    return true;
}

bool buildPath(char *out, size_t size, const PathParts &parts, const char *extension) {
    size_t folderLength = strlen(parts.folder);
    const char *slash = folderLength && !isSeparator(parts.folder[folderLength - 1]) ? "\\" : "";
    const char *dot = extension[0] && extension[0] != '.' ? "." : "";
    int n = snprintf(out, size, "%s%s%s%s%s%s", parts.drive, parts.folder, slash, parts.base, dot, extension);
    if (n < 0 || (size_t)n >= size) {
        if (size) out[0] = '\0';
        return false;
    }
    return true;
}

void noteName(int key, char *out, size_t size) {
    int k = key & 0x7F;
    snprintf(out, size, "%s%d", kNoteNames[k % 12], k / 12 - 2);
}

bool keyFileName(char *out, size_t size, const PathParts &parts, int key) {
    char note[8];
    noteName(key, note, sizeof note);
    int n = snprintf(out, size, "%s%s%s_%s%s", parts.drive, parts.folder, parts.base, note, ".wav");
    if (n < 0 || (size_t)n >= size || n >= kPathLimit) {
        if (size) out[0] = '\0';
        return false;
    }
    return true;
}

void encodeTakeChunk(const float *left, const float *right, int frames, int channels, WavDepth depth,
                     uint8_t *out) {
    if (channels == 2) {
        const float *both[2] = {left, right};
        encodeFrames(both, 2, frames, depth, out);
        return;
    }
    float mix[kTakeChunk];
    for (int done = 0; done < frames;) {
        int n = frames - done < kTakeChunk ? frames - done : kTakeChunk;
        mixToMono(left + done, right + done, mix, n);
        const float *one[1] = {mix};
        encodeFrames(one, 1, n, depth, out + (size_t)done * (size_t)wavBytesPerSample(depth));
        done += n;
    }
}

bool renameStored(ExportReport &report, const PathParts &parts, const char *extension) {
    char rebuilt[kExportNameSize];
    if (!buildPath(rebuilt, sizeof rebuilt, parts, extension)) return false;
    memcpy(report.fileName, rebuilt, sizeof rebuilt);
    return true;
}

int selectedKeyList(const uint8_t *keySelection, uint8_t *keys) {
    int n = 0;
    for (int k = 0; k < kKeyCount; ++k)
        if (keySelection[k]) keys[n++] = (uint8_t)k;
    return n;
}

bool startExportOutput(OutputWriter &writer, int files, ExportReport &report) {
    if (startOutputWriter(writer, files > 1)) return true;
    report.notWritten += files;  // without memory for the pieces nothing is written
    return false;
}

void finishExportOutput(OutputWriter &writer, ExportOutput *outputs, int count, ExportReport &report) {
    stopOutputWriter(writer);
    for (int i = 0; i < count; ++i) {
        const ExportOutput &out = outputs[i];
        if (!out.opened || out.removed) continue;
        if (out.file.failed || out.incomplete) {
            report.notWritten++;
            noteExportFailure(report, out.file.path, (unsigned long)out.file.error);
        } else
            report.written++;
    }
}

void writeKeyWavs(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
                  ExportReport &report) {
    uint8_t keys[kKeyCount];
    int n = selectedKeyList(keySelection, keys);
    report.planned += n;
    PathParts parts;
    splitPath(settings.fileName, parts);
    renameStored(report, parts, ".wav");
    WavDepth depth = settings.sampleFormat;
    ExportOutput *outputs = (ExportOutput *)calloc((size_t)n + 1, sizeof(ExportOutput));
    OutputWriter writer;
    if (!outputs) {
        report.notWritten += n;
        return;
    }
    if (!startExportOutput(writer, n, report)) {
        free(outputs);
        return;
    }
    for (int i = 0; i < n && !report.cancelled; ++i) {
        reportTakeStarted(render, i + 1, n);
        if (!resetPluginForTake(render)) {
            report.cancelled = true;
            break;
        }
        char path[kPathLimit];
        if (!keyFileName(path, sizeof path, parts, keys[i])) {
            report.nameTooLong++;
            noteExportFailure(report, settings.fileName, 0);
            continue;
        }
        report.cancelled = !writeOneWav(render, writer, outputs[i], path, depth, &keys[i], 1, report);
    }
    finishExportOutput(writer, outputs, n, report);
    free(outputs);
}

void writeChordWav(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
                   ExportReport &report) {
    uint8_t keys[kKeyCount];
    int n = selectedKeyList(keySelection, keys);
    report.planned += 1;
    reportTakeStarted(render, 1, 1);
    if (!resetPluginForTake(render)) {
        report.cancelled = true;
        return;
    }
    PathParts parts;
    splitPath(settings.fileName, parts);
    if (!renameStored(report, parts, ".wav")) {
        report.nameTooLong++;
        noteExportFailure(report, settings.fileName, 0);
        return;
    }
    OutputWriter writer;
    if (!startExportOutput(writer, 1, report)) return;
    ExportOutput out = {};
    report.cancelled = !writeOneWav(render, writer, out, report.fileName, settings.sampleFormat, keys, n, report);
    finishExportOutput(writer, &out, 1, report);
}
