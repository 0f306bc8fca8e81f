#include "export/sample_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "export/export_choices.h"
#include "export/offline_render.h"
#include "export/sfz_writer.h"
#include "export/shaped_take.h"
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

// Where a take stands in its export: the selected keys, its ordinal (1 for the
// first) and the number of takes.
struct TakeOrder {
    const uint8_t *keys;
    int ordinal;
    int takes;
};

// The .sfz itself, once its samples are written: the head, then the regions.
void writeSfzText(ExportReport &report, int releaseMs, const SfzRegion *regions, int count) {
    const size_t lineRoom = 160 + kPathLimit;
    size_t size = 256 + (size_t)count * lineRoom;
    char *text = (char *)malloc(size);
    OutputWriter writer;
    if (count == 0) {
        // Without a sample there is nothing to map: the failures of the samples say why.
        report.planned--;
        free(text);
        return;
    }
    if (!text || !startOutputWriter(writer, false)) {
        report.notWritten++;
        noteExportFailure(report, report.fileName, 0);
        free(text);
        return;
    }
    size_t used = formatSfzHead(text, size, releaseMs);
    for (int i = 0; i < count; ++i) used += formatSfzRegion(text + used, size - used, regions[i]);
    ExportOutput out = {};
    DWORD error = 0;
    if (!openOutput(out.file, report.fileName, &error)) {
        report.notCreated++;
        noteExportFailure(report, report.fileName, error);
    } else {
        out.opened = true;
        for (size_t done = 0; done < used;) {
            size_t n = used - done < kOutputPieceBytes ? used - done : kOutputPieceBytes;
            outputBytes(writer, out.file, text + done, n);
            done += n;
        }
        closeOutput(writer, out.file, false);
    }
    finishExportOutput(writer, &out, 1, report);
    free(text);
}

// The take's first `frames` samples after the header, in the depth's encoding, into
// the file's pieces.
void appendTakeWav(OfflineRender &render, OutputWriter &writer, OutputFile &file, WavDepth depth, int32_t frames) {
    int channels = render.channels;
    size_t frameBytes = (size_t)channels * (size_t)wavBytesPerSample(depth);
    float left[kTakeChunk], right[kTakeChunk];
    rewindTake(render);
    for (int32_t done = 0; done < frames;) {
        int32_t remaining = frames - done;
        int n = remaining < kTakeChunk ? (int)remaining : kTakeChunk;
        const float *l = takePoints(render, 0, done, n, left);
        const float *r = takePoints(render, 1, done, n, right);
        encodeTakeChunk(l, r, n, channels, depth, outputRoom(writer, file, (size_t)n * frameBytes));
        done += n;
    }
}

// One WAV file of a planned take: create, render and shape the take, header, fill,
// close. False when the export was cancelled while the take rendered: the file is
// removed then. A file that cannot be created is counted and nothing is rendered for it.
bool writeOneWav(OfflineRender &render, OutputWriter &writer, ExportOutput &out, const char *path,
                 const ExportSettings &settings, const PlannedTake &take, const TakeOrder &order, TakeShape &shape,
                 ExportReport &report) {
    DWORD error = 0;
    if (!openOutput(out.file, path, &error)) {
        report.notCreated++;
        noteExportFailure(report, path, error);
        return true;
    }
    out.opened = true;
    if (!renderPlannedTake(render, take, order.keys, order.ordinal, order.takes, settings, shape, report)) {
        closeOutput(writer, out.file, true);
        out.removed = true;
        return false;
    }
    WavFormat format = wavFormatFor(settings.sampleFormat, render.channels, render.timing.rate);
    uint8_t header[kMaxWavHeaderSize];
    outputBytes(writer, out.file, header, buildWavHeader(header, format, (uint64_t)shape.frames));
    // Frames the temporary files lost are padded with silence but the file is reported.
    out.incomplete = !takeComplete(render);
    appendTakeWav(render, writer, out.file, settings.sampleFormat, shape.frames);
    closeOutput(writer, out.file, false);
    return true;
}

// Every planned take into a WAV file of its own, named after parts with the take's
// key (keyInName) and, with several layers, its velocity. With regions (room for
// every take), each written take's region is added, its sample named relative to
// the folder `relativeTo` starts with. Returns the regions added.
int writeTakeWavs(OfflineRender &render, const ExportSettings &settings, const uint8_t *keys, const PlannedTake *plan,
                  int n, const PathParts &parts, bool keyInName, ExportReport &report, SfzRegion *regions,
                  char (*samplePaths)[kPathLimit], size_t relativeTo) {
    report.planned += n;
    ExportOutput *outputs = (ExportOutput *)calloc((size_t)n + 1, sizeof(ExportOutput));
    OutputWriter writer;
    if (!outputs) {
        report.notWritten += n;
        return 0;
    }
    if (!startExportOutput(writer, n, report)) {
        free(outputs);
        return 0;
    }
    int added = 0;
    for (int i = 0; i < n && !report.cancelled; ++i) {
        const PlannedTake &take = plan[i];
        char path[kPathLimit];
        if (!keyFileName(path, sizeof path, parts, keyInName ? take.rootKey : -1,
                         take.layered ? take.layer.velocity : -1)) {
            report.nameTooLong++;
            noteExportFailure(report, settings.fileName, 0);
            continue;
        }
        TakeOrder order = {keys, i + 1, n};
        TakeShape shape;
        report.cancelled = !writeOneWav(render, writer, outputs[i], path, settings, take, order, shape, report);
        if (!regions || !outputs[i].opened || outputs[i].removed) continue;
        char *relative = samplePaths[added];
        snprintf(relative, kPathLimit, "%s", path + relativeTo);
        for (char *c = relative; *c; ++c)
            if (*c == '\\') *c = '/';
        regions[added++] = SfzRegion{relative, take.lowKey, take.highKey, take.rootKey, take.layer.low,
                                     take.layer.high, shape.loop.found, shape.loop.start, shape.loop.end};
    }
    finishExportOutput(writer, outputs, n, report);
    free(outputs);
    return added;
}

// The plan of an export: the selected keys (into keys) and its takes (allocated,
// kMaxTakes); null when there is no memory for it.
PlannedTake *planExport(const ExportSettings &settings, const uint8_t *keySelection, uint8_t *keys, int &takes) {
    int selected = selectedKeyList(keySelection, keys);
    PlannedTake *plan = (PlannedTake *)calloc(kMaxTakes, sizeof(PlannedTake));
    takes = plan ? planTakes(keys, selected, settings.mode == kExportChord, settings.velocity, settings.layers, plan)
                 : 0;
    return plan;
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

bool keyFileName(char *out, size_t size, const PathParts &parts, int key, int velocity) {
    char note[8] = "", layer[8] = "";
    if (key >= 0) {
        note[0] = '_';
        noteName(key, note + 1, sizeof note - 1);
    }
    if (velocity >= 0) snprintf(layer, sizeof layer, "_v%d", velocity & 0x7F);
    int n = snprintf(out, size, "%s%s%s%s%s%s", parts.drive, parts.folder, parts.base, note, layer, ".wav");
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

void writeWavs(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
               ExportReport &report) {
    uint8_t keys[kKeyCount];
    int n = 0;
    PlannedTake *plan = planExport(settings, keySelection, keys, n);
    PathParts parts;
    splitPath(settings.fileName, parts);
    renameStored(report, parts, ".wav");
    if (!plan) {
        report.planned++;
        report.notWritten++;
        return;
    }
    // A chord's file (one per layer) is named without a key.
    writeTakeWavs(render, settings, keys, plan, n, parts, settings.mode != kExportChord, report, nullptr, nullptr, 0);
    free(plan);
}

void writeSfz(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
              ExportReport &report) {
    uint8_t keys[kKeyCount];
    int n = 0;
    PlannedTake *plan = planExport(settings, keySelection, keys, n);
    PathParts parts;
    splitPath(settings.fileName, parts);
    report.planned++;  // the .sfz
    bool named = renameStored(report, parts, ".sfz");
    // The samples go into a folder of the .sfz's base name beside it.
    PathParts samples = parts;
    int folder = snprintf(samples.folder, sizeof samples.folder, "%s%s%s\\", parts.folder,
                          parts.folder[0] && !isSeparator(parts.folder[strlen(parts.folder) - 1]) ? "\\" : "",
                          parts.base);
    SfzRegion *regions = plan ? (SfzRegion *)calloc((size_t)n + 1, sizeof(SfzRegion)) : nullptr;
    char(*paths)[kPathLimit] = regions ? (char(*)[kPathLimit])calloc((size_t)n + 1, kPathLimit) : nullptr;
    if (!named || folder < 0 || (size_t)folder >= sizeof samples.folder) {
        report.nameTooLong++;
        noteExportFailure(report, settings.fileName, 0);
    } else if (!paths) {
        report.notWritten++;
    } else {
        char folderPath[kPathLimit];
        snprintf(folderPath, sizeof folderPath, "%s%s", samples.drive, samples.folder);
        CreateDirectoryA(folderPath, nullptr);  // the samples' creation reports a folder that cannot be made
        size_t relativeTo = strlen(parts.drive) + strlen(parts.folder);
        int added = writeTakeWavs(render, settings, keys, plan, n, samples, settings.mode != kExportChord, report,
                                  regions, paths, relativeTo);
        if (!report.cancelled) writeSfzText(report, settings.releaseMs, regions, added);
    }
    free(paths);
    free(regions);
    free(plan);
}
