#include "export/soundfont_writer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "export/export_choices.h"
#include "export/offline_render.h"
#include "export/output_writer.h"
#include "export/sample_output.h"
#include "export/shaped_take.h"
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
const uint16_t kGenReleaseVolEnv = 38;
const uint16_t kGenSampleModes = 54;
const uint16_t kGenSampleId = 53;
const uint16_t kLoopWhileHeld = 3;  // loop while the key is held, then play on to the end
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
void appendTakeSamples(OfflineRender &render, OutputWriter &writer, OutputFile &file, int channel, int32_t frames) {
    float left[kTakeChunk], right[kTakeChunk];
    for (int32_t done = 0; done < frames;) {
        int32_t remaining = frames - done;
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

void appendTake(OfflineRender &render, OutputWriter &writer, OutputFile &file, int32_t frames) {
    rewindTake(render);
    if (render.channels == 1) return appendTakeSamples(render, writer, file, -1, frames);
    appendTakeSamples(render, writer, file, 0, frames);
    appendTakeSamples(render, writer, file, 1, frames);
}

void patchSize(OutputWriter &writer, OutputFile &file, uint64_t at, uint32_t value) {
    uint8_t bytes[4] = {(uint8_t)value, (uint8_t)(value >> 8), (uint8_t)(value >> 16), (uint8_t)(value >> 24)};
    patchOutput(writer, file, at, bytes, 4);
}

// Positions of the fixed part's size fields.
const uint64_t kRiffSizeAt = 4;
const uint64_t kInfoSizeAt = 16;
const uint64_t kSdtaSizeAt = 104;
const uint64_t kSmplSizeAt = 116;

}  // namespace

SoundFontLayout soundFontLayout(int samples, uint32_t frames, int looped) {
    SoundFontLayout l;
    l.stride = (uint64_t)frames + kSampleGuardPoints;
    l.smplSize = (uint64_t)samples * 2 * l.stride;
    l.sdtaSize = 12 + l.smplSize;
    l.pdtaOffset = kSoundFontHeadSize + l.smplSize;
    l.pdtaSize = pdtaListBytes(samples, looped) - kChunkHeaderSize;
    l.fileSize = l.pdtaOffset + pdtaListBytes(samples, looped);
    return l;
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

size_t pdtaListBytes(int samples, int looped) {
    size_t z = (size_t)samples, generators = 4 * z + 2 * (size_t)looped;
    return 12 + (8 + 2 * kPresetHeaderSize) + (8 + 2 * kBagSize) + (8 + kModulatorSize) + (8 + 2 * kGeneratorSize) +
           (8 + 2 * kInstrumentHeaderSize) + (8 + kBagSize * (z + 1)) + (8 + kModulatorSize) +
           (8 + kGeneratorSize * (generators + 1)) + (8 + kSampleHeaderSize * (z + 1));
}

int16_t releaseTimecents(int releaseMs) {
    if (releaseMs <= 0) return -12000;  // the shortest the format has, about 1 ms
    double cents = std::floor(1200.0 * std::log2(releaseMs / 1000.0) + 0.5);
    return (int16_t)(cents < -12000 ? -12000 : cents > 8000 ? 8000 : cents);
}

void buildPdtaList(uint8_t *out, const SoundFontTakes &t) {
    int c = t.channels == 1 ? 1 : 2;
    int z = t.takes * c, looped = 0;
    for (int i = 0; i < t.takes; ++i) looped += t.list[i].looped ? c : 0;
    ByteWriter w = {out};
    w.chunk("LIST", (uint32_t)(pdtaListBytes(z, looped) - kChunkHeaderSize));
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

    // A looped zone has two more generators: release and sample mode.
    w.chunk("ibag", (uint32_t)(kBagSize * (z + 1)));
    unsigned generator = 0;
    for (int i = 0; i < t.takes; ++i)
        for (int side = 0; side < c; ++side, generator += t.list[i].looped ? 6 : 4) w.u16(generator), w.u16(0);
    w.u16(generator), w.u16(0);
    w.chunk("imod", kModulatorSize);
    w.u16(0), w.u16(0), w.u16(0), w.u16(0), w.u16((unsigned)z);

    w.chunk("igen", (uint32_t)(kGeneratorSize * (generator + 1)));
    int16_t release = releaseTimecents(t.releaseMs);
    for (int i = 0; i < t.takes; ++i) {
        const SoundFontTake &take = t.list[i];
        for (int side = 0; side < c; ++side) {
            w.u16(kGenKeyRange), w.u8(take.lowKey), w.u8(take.highKey);
            w.u16(kGenVelRange), w.u8(take.lowVelocity), w.u8(take.highVelocity);
            w.u16(kGenPan), w.u16(c == 1 ? 0 : side == 0 ? (uint16_t)-499 : 499);
            if (take.looped) {
                w.u16(kGenReleaseVolEnv), w.u16((uint16_t)release);
                w.u16(kGenSampleModes), w.u16(kLoopWhileHeld);
            }
            w.u16(kGenSampleId), w.u16((unsigned)(i * c + side));
        }
    }
    w.u32(0);

    w.chunk("shdr", (uint32_t)(kSampleHeaderSize * (z + 1)));
    uint32_t start = 0;
    for (int i = 0; i < t.takes; ++i) {
        const SoundFontTake &take = t.list[i];
        for (int side = 0; side < c; ++side) {
            int j = i * c + side;
            char name[kNameSize];
            sampleName(take.rootKey, side == 1, name, sizeof name);
            if (take.layerVelocity) {
                size_t used = strlen(name);
                snprintf(name + used, sizeof name - used, " v%d", take.layerVelocity);
            }
            w.name(name, kNameSize);
            // Without a loop the sample's own bounds: loop points must lie inside
            // their sample even when its mode plays no loop.
            uint32_t loopStart = take.looped ? start + take.loopStart : start;
            uint32_t loopEnd = take.looped ? start + take.loopEnd : start + take.frames;
            w.u32(start), w.u32(start + take.frames), w.u32(loopStart), w.u32(loopEnd);
            w.u32((uint32_t)t.rate);
            w.u8((unsigned)take.rootKey), w.u8(0);
            w.u16(c == 1 ? 0 : side == 0 ? (unsigned)j + 1 : (unsigned)j - 1);
            w.u16(c == 1 ? kMonoSample : side == 0 ? kLeftSample : kRightSample);
            start += take.frames + kSampleGuardPoints;
        }
    }
    memset(w.p, 0, kSampleHeaderSize);
    memcpy(w.p, "EOS", 3);
}

void writeSoundFont(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
                    ExportReport &report) {
    uint8_t keys[kKeyCount];
    int selected = selectedKeyList(keySelection, keys);
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

    // Sized for every take at its full length and looped: trimming only shortens.
    PlannedTake *plan = (PlannedTake *)calloc(kMaxTakes, sizeof(PlannedTake));
    SoundFontTake *list = (SoundFontTake *)calloc(kMaxTakes, sizeof(SoundFontTake));
    int n = plan ? planTakes(keys, selected, settings.mode == kExportChord, settings.velocity, settings.layers, plan)
                 : 0;
    int z = n * render.channels;
    SoundFontLayout layout = soundFontLayout(z, (uint32_t)render.timing.totalFrames, settings.loop ? z : 0);
    size_t pdtaBytes = pdtaListBytes(z, settings.loop ? z : 0);
    uint8_t *pdta = layout.fits() && plan && list ? (uint8_t *)malloc(pdtaBytes) : nullptr;
    OutputWriter writer;
    if (!pdta || !startExportOutput(writer, 1, report)) {
        if (!pdta) {
            report.tooLarge++;
            noteExportFailure(report, report.fileName, 0);
        }
        free(pdta);
        free(list);
        free(plan);
        return;
    }
    ExportOutput out = {};
    DWORD error = 0;
    if (!openOutput(out.file, report.fileName, &error)) {
        stopOutputWriter(writer);
        free(pdta);
        free(list);
        free(plan);
        report.notCreated++;
        noteExportFailure(report, report.fileName, error);
        return;
    }
    out.opened = true;
    OutputFile &file = out.file;
    uint8_t head[kSoundFontHeadSize];
    buildSoundFontHead(head, (uint32_t)layout.smplSize);
    outputBytes(writer, file, head, sizeof head);

    for (int i = 0; i < n; ++i) {
        const PlannedTake &take = plan[i];
        TakeShape shape;
        if (!renderPlannedTake(render, take, keys, i + 1, n, settings, shape, report)) {
            // One file for every take: a cancelled SoundFont is not written at all.
            report.cancelled = true;
            closeOutput(writer, file, true);
            out.removed = true;
            break;
        }
        // A take short of frames is padded with silence, keeping the SoundFont valid, and reported.
        out.incomplete = out.incomplete || !takeComplete(render);
        appendTake(render, writer, file, shape.frames);
        list[i] = SoundFontTake{take.rootKey,          take.lowKey,        take.highKey,
                                take.layer.low,        take.layer.high,    take.layered ? take.layer.velocity : (uint8_t)0,
                                (uint32_t)shape.frames, shape.loop.found,   shape.loop.start,
                                shape.loop.end};
    }
    if (!report.cancelled) {
        uint64_t smplSize = file.queued - kSmplSizeAt - 4;
        uint64_t pdtaAt = file.queued;
        SoundFontTakes takes = {list, n, render.channels, render.timing.rate, preset, settings.releaseMs};
        buildPdtaList(pdta, takes);
        // The list written is as long as its own size field says (fewer loops than planned).
        uint32_t listBytes = (uint32_t)(pdta[4] | pdta[5] << 8 | pdta[6] << 16 | (uint32_t)pdta[7] << 24) + 8;
        outputBytes(writer, file, pdta, listBytes);
        uint64_t end = file.queued;
        patchSize(writer, file, kRiffSizeAt, (uint32_t)(end - kRiffSizeAt - 4));
        patchSize(writer, file, kInfoSizeAt, (uint32_t)(kSdtaSizeAt - 4 - kInfoSizeAt - 4));
        patchSize(writer, file, kSdtaSizeAt, (uint32_t)(smplSize + 12));
        patchSize(writer, file, kSmplSizeAt, (uint32_t)smplSize);
        patchSize(writer, file, pdtaAt + 4, (uint32_t)(end - pdtaAt - 8));
        closeOutput(writer, file, false);
    }
    finishExportOutput(writer, &out, 1, report);
    free(pdta);
    free(list);
    free(plan);
}
