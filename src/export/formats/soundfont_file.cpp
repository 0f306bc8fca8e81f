#include "export/formats/soundfont_file.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/byte_order.h"
#include "engine/wav_writer.h"
#include "export/takes/take_plan.h"

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

// Little-endian writing into a byte buffer, front to back.
struct ByteWriter {
    uint8_t *p;
    void u8(unsigned v) { *p++ = (uint8_t)v; }
    void u16(unsigned v) {
        putLe16(p, v);
        p += 2;
    }
    void u32(uint32_t v) {
        putLe32(p, v);
        p += 4;
    }
    void fourcc(const char *id) {
        putTag(p, id);
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

// A layered zone's velocity curve, as three modulators onto its attenuation (in
// centibels, 0 at its layer's top velocity h, k more for every step below it):
// - the default velocity-to-attenuation modulator, amount 0: an instrument zone's
//   modulator with the same sources, destination and transform replaces the default;
// - velocity, linear, unipolar (v / 128), amount -k (128 - 2h);
// - velocity, linear, bipolar (2v / 128 - 1), amount -k h;
// together k (h - v), with no constant term, which a player would have to take from
// the attenuation generator (and some scale that one by 0.4).
const unsigned kCurveModulators = 3;
const uint16_t kGenInitialAttenuation = 48;
const uint16_t kDefaultVelocityToAttenuation = 0x0502;  // velocity, concave, negative, unipolar
const uint16_t kVelocityLinear = 0x0002;
const uint16_t kVelocityLinearBipolar = 0x0202;

void writeVelocityCurve(ByteWriter &w, const SoundFontTake &take) {
    const double k = 10.0 * take.velocitySlopeDb, h = take.highVelocity;
    auto amount = [](double cb) { return (uint16_t)(int16_t)std::lround(cb < -32768 ? -32768 : cb > 32767 ? 32767 : cb); };
    w.u16(kDefaultVelocityToAttenuation), w.u16(kGenInitialAttenuation), w.u16(0), w.u16(0), w.u16(0);
    w.u16(kVelocityLinear), w.u16(kGenInitialAttenuation), w.u16(amount(-k * (128.0 - 2.0 * h))), w.u16(0), w.u16(0);
    w.u16(kVelocityLinearBipolar), w.u16(kGenInitialAttenuation), w.u16(amount(-k * h)), w.u16(0), w.u16(0);
}

void sampleName(int rootKey, bool right, char *out, size_t size) {
    char note[8];
    noteName(rootKey, note, sizeof note);
    snprintf(out, size, right ? "%s R" : "%s", note);
}

}  // namespace

uint64_t sm24ChunkSize(uint64_t smplSize) {
    uint64_t points = smplSize / 2;
    return points + (points & 1);
}

SoundFontLayout soundFontLayout(int samples, uint32_t frames, int looped, int curved, bool deep) {
    SoundFontLayout l;
    l.stride = (uint64_t)frames + kSampleGuardPoints;
    l.smplSize = (uint64_t)samples * 2 * l.stride;
    l.sm24Size = deep ? sm24ChunkSize(l.smplSize) : 0;
    const uint64_t sm24Chunk = deep ? kChunkHeaderSize + l.sm24Size : 0;
    l.sdtaSize = 12 + l.smplSize + sm24Chunk;
    l.pdtaOffset = kSoundFontHeadSize + l.smplSize + sm24Chunk;
    l.pdtaSize = pdtaListBytes(samples, looped, curved) - kChunkHeaderSize;
    l.fileSize = l.pdtaOffset + pdtaListBytes(samples, looped, curved);
    return l;
}

void buildSoundFontHead(uint8_t *out, uint32_t smplSize, bool deep) {
    ByteWriter w = {out};
    w.chunk("RIFF", 0);
    w.fourcc("sfbk");
    w.chunk("LIST", 0);
    w.fourcc("INFO");
    w.chunk("ifil", 4);
    w.u16(2);
    w.u16(deep ? 4 : 1);
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

size_t pdtaListBytes(int samples, int looped, int curved) {
    size_t z = (size_t)samples, generators = 4 * z + 2 * (size_t)looped;
    size_t modulators = kCurveModulators * (size_t)curved;
    return 12 + (8 + 2 * kPresetHeaderSize) + (8 + 2 * kBagSize) + (8 + kModulatorSize) + (8 + 2 * kGeneratorSize) +
           (8 + 2 * kInstrumentHeaderSize) + (8 + kBagSize * (z + 1)) + (8 + kModulatorSize * (modulators + 1)) +
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
    const unsigned curves = t.layered ? kCurveModulators : 0;  // modulators in each zone
    ByteWriter w = {out};
    w.chunk("LIST", (uint32_t)(pdtaListBytes(z, looped, t.layered ? z : 0) - kChunkHeaderSize));
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
    unsigned generator = 0, modulator = 0;
    for (int i = 0; i < t.takes; ++i)
        for (int side = 0; side < c; ++side, generator += t.list[i].looped ? 6 : 4, modulator += curves)
            w.u16(generator), w.u16(modulator);
    w.u16(generator), w.u16(modulator);
    w.chunk("imod", (uint32_t)(kModulatorSize * (modulator + 1)));
    for (int i = 0; i < t.takes && curves; ++i)
        for (int side = 0; side < c; ++side) writeVelocityCurve(w, t.list[i]);
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
            // A sample off its key's pitch: its nearest key and the cents back onto it.
            const WavTuning tuning = wavTuning(take.rootKey, take.tuningCents);
            w.u8(tuning.unshiftedNote), w.u8((uint8_t)tuning.fineTune);
            w.u16(c == 1 ? 0 : side == 0 ? (unsigned)j + 1 : (unsigned)j - 1);
            w.u16(c == 1 ? kMonoSample : side == 0 ? kLeftSample : kRightSample);
            start += take.frames + kSampleGuardPoints;
        }
    }
    memset(w.p, 0, kSampleHeaderSize);
    memcpy(w.p, "EOS", 3);
}
