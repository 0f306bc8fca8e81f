#include "export/soundfont_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "export/export_run.h"
#include "export/offline_render.h"
#include "export/output_writer.h"
#include "export/sample_output.h"
#include "midi/midi_keys.h"

namespace {

const size_t kPresetHeaderSize = 38;
const size_t kBagSize = 4;
const size_t kModulatorSize = 10;
const size_t kGeneratorSize = 4;
const size_t kInstrumentHeaderSize = 22;
const size_t kSampleHeaderSize = 46;
const size_t kChunkHeaderSize = 8;
const size_t kNameSize = 20;

const uint16_t kGenInstrument = 41;
const uint16_t kGenKeyRange = 43;
const uint16_t kGenVelRange = 44;
const uint16_t kGenPan = 17;
const uint16_t kGenSampleId = 53;
const uint16_t kMonoSample = 1;
const uint16_t kRightSample = 2;
const uint16_t kLeftSample = 4;

// Little-endian writing into a byte buffer.
struct ByteWriter {
    uint8_t *p;
    void u8(unsigned v) { *p++ = (uint8_t)v; }
    void u16(unsigned v) {
        u8(v & 0xFF);
        u8(v >> 8 & 0xFF);
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void fourcc(const char *id) {
        memcpy(p, id, 4);
        p += 4;
    }
    void chunk(const char *id, uint32_t size) {
        fourcc(id);
        u32(size);
    }
    // A zero-filled fixed-size name field.
    void name(const char *text, size_t size) {
        memset(p, 0, size);
        size_t n = strlen(text);
        memcpy(p, text, n < size ? n : size - 1);
        p += size;
    }
};

void sampleName(int rootKey, bool right, char *out, size_t size) {
    char note[8];
    noteName(rootKey, note, sizeof note);
    snprintf(out, size, right ? "%s R" : "%s", note);
}

// One channel (or, with channel -1, the mono mix) of the current take as T points
// of 16-bit samples followed by the 46 zero points.
void appendTakeSamples(OfflineRender &render, OutputWriter &writer, OutputFile &file, int channel) {
    float left[kTakeChunk], right[kTakeChunk];
    for (int32_t done = 0; done < render.timing.totalFrames;) {
        int32_t remaining = render.timing.totalFrames - done;
        int n = remaining < kTakeChunk ? (int)remaining : kTakeChunk;
        uint8_t *points = outputRoom(writer, file, (size_t)n * 2);
        if (channel < 0) {
            const float *l = takePoints(render, 0, done, n, left);
            const float *r = takePoints(render, 1, done, n, right);
            encodeTakeChunk(l, r, n, 1, kWavDepth16, points);
        } else {
            const float *one[1] = {takePoints(render, channel, done, n, left)};
            encodeFrames(one, 1, n, kWavDepth16, points);
        }
        done += n;
    }
    memset(outputRoom(writer, file, kSampleGuardPoints * 2), 0, kSampleGuardPoints * 2);
}

void appendTake(OfflineRender &render, OutputWriter &writer, OutputFile &file) {
    rewindTake(render);
    if (render.channels == 1) return appendTakeSamples(render, writer, file, -1);
    appendTakeSamples(render, writer, file, 0);
    appendTakeSamples(render, writer, file, 1);
}

void patchSize(OutputWriter &writer, OutputFile &file, uint64_t at, uint32_t value) {
    uint8_t bytes[4] = {(uint8_t)value, (uint8_t)(value >> 8), (uint8_t)(value >> 16), (uint8_t)(value >> 24)};
    patchOutput(writer, file, at, bytes, 4);
}

// Positions of the fixed part's size fields.
const uint64_t kRiffSizeAt = 4;
const uint64_t kInfoSizeAt = 16;
const uint64_t kSdtaSizeAt = 104;

}  // namespace

SoundFontLayout soundFontLayout(int samples, uint32_t frames) {
    SoundFontLayout l;
    l.stride = (uint64_t)frames + kSampleGuardPoints;
    l.smplSize = (uint64_t)samples * 2 * l.stride;
    l.sdtaSize = 12 + l.smplSize;
    l.pdtaOffset = kSoundFontHeadSize + l.smplSize;
    l.pdtaSize = pdtaListBytes(samples) - kChunkHeaderSize;
    l.fileSize = l.pdtaOffset + pdtaListBytes(samples);
    return l;
}

void soundFontKeyRanges(const uint8_t *takeKeys, int n, uint8_t *low, uint8_t *high) {
    for (int i = 0; i < n; ++i) {
        low[i] = i == 0 ? 0 : (uint8_t)(high[i - 1] + 1);
        high[i] = i == n - 1 ? 127 : (uint8_t)(takeKeys[i] + (takeKeys[i + 1] - takeKeys[i]) / 2);
    }
}

void buildSoundFontHead(uint8_t *out, uint32_t smplSize) {
    ByteWriter w = {out};
    w.chunk("RIFF", 0);
    w.fourcc("sfbk");
    w.chunk("LIST", 0);
    w.fourcc("INFO");
    w.chunk("ifil", 4);
    w.u16(2);
    w.u16(1);
    w.chunk("isng", 8);
    w.name("EMU8000", 8);
    w.chunk("INAM", 16);
    w.name("Morvex Korvane", 16);
    w.chunk("ISFT", 16);
    w.name("Morvex Korvane", 16);
    w.chunk("LIST", 0);
    w.fourcc("sdta");
    w.chunk("smpl", smplSize);
}

size_t pdtaListBytes(int samples) {
    size_t z = (size_t)samples;
    return 12 + (8 + 2 * kPresetHeaderSize) + (8 + 2 * kBagSize) + (8 + kModulatorSize) + (8 + 2 * kGeneratorSize) +
           (8 + 2 * kInstrumentHeaderSize) + (8 + kBagSize * (z + 1)) + (8 + kModulatorSize) +
           (8 + kGeneratorSize * (4 * z + 1)) + (8 + kSampleHeaderSize * (z + 1));
}

void buildPdtaList(uint8_t *out, const SoundFontTakes &t) {
    int c = t.channels == 1 ? 1 : 2;
    int z = t.takes * c;
    uint32_t stride = t.frames + kSampleGuardPoints;
    ByteWriter w = {out};
    w.chunk("LIST", (uint32_t)(pdtaListBytes(z) - kChunkHeaderSize));
    w.fourcc("pdta");

    w.chunk("phdr", 2 * kPresetHeaderSize);
    char preset[kPresetNameLength + 1];
    snprintf(preset, sizeof preset, "%s", t.presetName);
    w.name(preset, kNameSize);
    w.u16(0), w.u16(0), w.u16(0), w.u32(0), w.u32(0), w.u32(0);
    w.name("EOP", kNameSize);
    w.u16(255), w.u16(255), w.u16(1), w.u32(0), w.u32(0), w.u32(0);

    w.chunk("pbag", 2 * kBagSize);
    w.u16(0), w.u16(0), w.u16(1), w.u16(0);
    w.chunk("pmod", kModulatorSize);
    w.u16(0), w.u16(0), w.u16(0), w.u16(0), w.u16(1);
    w.chunk("pgen", 2 * kGeneratorSize);
    w.u16(kGenInstrument), w.u16(0), w.u32(0);

    w.chunk("inst", 2 * kInstrumentHeaderSize);
    w.name("Instrument Name", kNameSize);
    w.u16(0);
    w.name("EOI", kNameSize);
    w.u16((unsigned)z);

    w.chunk("ibag", (uint32_t)(kBagSize * (z + 1)));
    for (int zone = 0; zone <= z; ++zone) w.u16(4 * (unsigned)zone), w.u16(0);
    w.chunk("imod", kModulatorSize);
    w.u16(0), w.u16(0), w.u16(0), w.u16(0), w.u16((unsigned)z);

    uint8_t low[kKeyCount], high[kKeyCount];
    soundFontKeyRanges(t.takeKeys, t.takes, low, high);
    w.chunk("igen", (uint32_t)(kGeneratorSize * (4 * z + 1)));
    for (int i = 0; i < t.takes; ++i) {
        for (int side = 0; side < c; ++side) {
            w.u16(kGenKeyRange), w.u8(low[i]), w.u8(high[i]);
            w.u16(kGenVelRange), w.u8(0), w.u8(127);
            w.u16(kGenPan), w.u16(c == 1 ? 0 : side == 0 ? (uint16_t)-499 : 499);
            w.u16(kGenSampleId), w.u16((unsigned)(i * c + side));
        }
    }
    w.u32(0);

    w.chunk("shdr", (uint32_t)(kSampleHeaderSize * (z + 1)));
    for (int i = 0; i < t.takes; ++i) {
        int root = t.chord ? 60 : t.takeKeys[i];
        for (int side = 0; side < c; ++side) {
            int j = i * c + side;
            char name[kNameSize];
            sampleName(root, side == 1, name, sizeof name);
            w.name(name, kNameSize);
            uint32_t start = (uint32_t)j * stride;
            // Without a loop the sample's own bounds: loop points must lie inside
            // their sample even when its mode plays no loop.
            w.u32(start), w.u32(start + t.frames), w.u32(start), w.u32(start + t.frames);
            w.u32((uint32_t)t.rate);
            w.u8((unsigned)root), w.u8(0);
            w.u16(c == 1 ? 0 : side == 0 ? (unsigned)j + 1 : (unsigned)j - 1);
            w.u16(c == 1 ? kMonoSample : side == 0 ? kLeftSample : kRightSample);
        }
    }
    memset(w.p, 0, kSampleHeaderSize);
    memcpy(w.p, "EOS", 3);
}

void writeSoundFont(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
                    ExportReport &report) {
    bool chord = settings.mode == kExportChord;
    uint8_t keys[kKeyCount];
    int selected = selectedKeyList(keySelection, keys);
    int n = chord ? 1 : selected;
    report.planned += 1;

    PathParts parts;
    splitPath(settings.fileName, parts);
    char preset[kPresetNameLength + 1];
    snprintf(preset, sizeof preset, "%s", parts.base);
    if (!renameStored(report, parts, ".sf2")) {
        report.nameTooLong++;
        noteExportFailure(report, settings.fileName, 0);
        return;
    }

    int z = n * render.channels;
    SoundFontLayout layout = soundFontLayout(z, (uint32_t)render.timing.totalFrames);
    size_t pdtaBytes = pdtaListBytes(z);
    uint8_t *pdta = layout.fits() ? (uint8_t *)malloc(pdtaBytes) : nullptr;
    if (!pdta) {
        report.tooLarge++;
        noteExportFailure(report, report.fileName, 0);
        return;
    }
    OutputWriter writer;
    if (!startExportOutput(writer, 1, report)) {
        free(pdta);
        return;
    }
    ExportOutput out = {};
    DWORD error = 0;
    if (!openOutput(out.file, report.fileName, &error)) {
        stopOutputWriter(writer);
        free(pdta);
        report.notCreated++;
        noteExportFailure(report, report.fileName, error);
        return;
    }
    out.opened = true;
    OutputFile &file = out.file;
    uint8_t head[kSoundFontHeadSize];
    buildSoundFontHead(head, (uint32_t)layout.smplSize);
    outputBytes(writer, file, head, sizeof head);

    uint8_t takeKeys[kKeyCount + 1];
    for (int i = 0; i < n; ++i) {
        takeKeys[i] = chord ? 0 : keys[i];
        reportTakeStarted(render, i + 1, n);
        bool rendered = resetPluginForTake(render) &&
                        (chord ? renderTake(render, keys, selected) : renderTake(render, &keys[i], 1));
        if (!rendered) {
            // One file for every take: a cancelled SoundFont is not written at all.
            report.cancelled = true;
            closeOutput(writer, file, true);
            out.removed = true;
            break;
        }
        // A take short of frames is padded with silence, keeping the SoundFont valid, and reported.
        out.incomplete = out.incomplete || !takeComplete(render);
        appendTake(render, writer, file);
    }
    if (!report.cancelled) {
        takeKeys[n] = 127;
        uint64_t sdtaSize = file.queued - kSdtaSizeAt - 4;
        uint64_t pdtaAt = file.queued;
        SoundFontTakes takes = {takeKeys, n, render.channels, chord, (uint32_t)render.timing.totalFrames,
                                render.timing.rate, preset};
        buildPdtaList(pdta, takes);
        outputBytes(writer, file, pdta, pdtaBytes);
        uint64_t end = file.queued;
        patchSize(writer, file, kRiffSizeAt, (uint32_t)(end - kRiffSizeAt - 4));
        patchSize(writer, file, kInfoSizeAt, (uint32_t)(kSdtaSizeAt - 4 - kInfoSizeAt - 4));
        patchSize(writer, file, kSdtaSizeAt, (uint32_t)sdtaSize);
        patchSize(writer, file, pdtaAt + 4, (uint32_t)(end - pdtaAt - 8));
        closeOutput(writer, file, false);
    }
    finishExportOutput(writer, &out, 1, report);
    free(pdta);
}
