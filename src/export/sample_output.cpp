#include "export/sample_output.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

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

// The header announces the take's total frames: it is complete before any sample.
bool writeTakeHeader(OfflineRender &render, int fd, WavDepth depth) {
    WavFormat format = wavFormatFor(depth, render.channels, render.timing.rate);
    return writeWavHeader(fd, format, (uint64_t)render.timing.totalFrames);
}

// The take converted chunk by chunk; false when a write fell short.
bool appendTakeWav(OfflineRender &render, int fd, WavDepth depth) {
    int channels = render.channels;
    WavFormat format = wavFormatFor(depth, channels, render.timing.rate);
    float left[kTakeChunk], right[kTakeChunk];
    uint8_t chunk[kTakeChunk * 2 * 4];
    bool ok = true;
    rewindTake(render);
    for (int32_t done = 0; done < render.timing.totalFrames;) {
        int32_t remaining = render.timing.totalFrames - done;
        int n = remaining < kTakeChunk ? (int)remaining : kTakeChunk;
        readTakePoints(render, 0, left, n);
        readTakePoints(render, 1, right, n);
        encodeTakeChunk(left, right, n, channels, depth, chunk);
        ok = writeFileBytes(fd, chunk, (size_t)n * (size_t)format.blockAlign) && ok;
        done += n;
    }
    return ok;
}

// One WAV file: create, header, render the keys, fill, close; counted in the report.
void writeOneWav(OfflineRender &render, const char *path, WavDepth depth, const uint8_t *keys, int count,
                 ExportReport &report) {
    int fd = createOutputFile(path);
    if (fd < 0) {
        report.notCreated++;
        noteExportFailure(report, path, _doserrno);
        return;
    }
    bool ok = writeTakeHeader(render, fd, depth);
    renderTake(render, keys, count);
    // Frames the temporary files lost are padded with silence but the file is reported.
    ok = takeComplete(render) && ok;
    ok = appendTakeWav(render, fd, depth) && ok;
    ok = _close(fd) == 0 && ok;
    if (!ok) {
        report.notWritten++;
        noteExportFailure(report, path, _doserrno);
    }
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
        for (int i = 0; i < n; ++i) mix[i] = (float)((left[done + i] + right[done + i]) / 2.0f);
        const float *one[1] = {mix};
        encodeFrames(one, 1, n, depth, out + (size_t)done * (size_t)wavBytesPerSample(depth));
        done += n;
    }
}

bool writeFileBytes(int fd, const void *data, size_t bytes) {
    const char *p = (const char *)data;
    while (bytes > 0) {
        unsigned n = bytes > (1u << 30) ? (1u << 30) : (unsigned)bytes;
        int written = _write(fd, p, n);
        if (written <= 0) return false;
        p += written;
        bytes -= (size_t)written;
    }
    return true;
}

int createOutputFile(const char *path) {
    return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
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

void writeKeyWavs(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
                  ExportReport &report) {
    uint8_t keys[kKeyCount];
    int n = selectedKeyList(keySelection, keys);
    report.planned += n;
    setExportProgressRange(render, n);
    PathParts parts;
    splitPath(settings.fileName, parts);
    renameStored(report, parts, ".wav");
    WavDepth depth = settings.sampleFormat;
    for (int i = 0; i < n; ++i) {
        setExportProgress(render, i + 1);
        resetPluginForTake(render);
        char path[kPathLimit];
        if (!keyFileName(path, sizeof path, parts, keys[i])) {
            report.nameTooLong++;
            noteExportFailure(report, settings.fileName, 0);
            continue;
        }
        writeOneWav(render, path, depth, &keys[i], 1, report);
    }
}

void writeChordWav(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
                   ExportReport &report) {
    uint8_t keys[kKeyCount];
    int n = selectedKeyList(keySelection, keys);
    report.planned += 1;
    setExportProgressRange(render, 1);
    setExportProgress(render, 1);
    resetPluginForTake(render);
    PathParts parts;
    splitPath(settings.fileName, parts);
    if (!renameStored(report, parts, ".wav")) {
        report.nameTooLong++;
        noteExportFailure(report, settings.fileName, 0);
        return;
    }
    writeOneWav(render, report.fileName, settings.sampleFormat, keys, n, report);
}
