#include "engine/wav_writer.h"

#include <io.h>

#include <cstring>

namespace {

void put16(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

void put32(uint8_t *p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

void put64(uint8_t *p, uint64_t v) {
    put32(p, (uint32_t)v);
    put32(p + 4, (uint32_t)(v >> 32));
}

void putTag(uint8_t *p, const char *tag) { memcpy(p, tag, 4); }

// The 16-byte format chunk body; its 16-bit fields take the low 16 bits.
void putFormat(uint8_t *p, const WavFormat &f) {
    put16(p, (uint32_t)f.formatTag & 0xFFFF);
    put16(p + 2, (uint32_t)f.channels & 0xFFFF);
    put32(p + 4, (uint32_t)f.sampleRate);
    put32(p + 8, (uint32_t)f.sampleRate * (uint32_t)f.blockAlign);
    put16(p + 12, (uint32_t)f.blockAlign & 0xFFFF);
    put16(p + 14, (uint32_t)f.bitsPerSample & 0xFFFF);
}

}  // namespace

int wavBytesPerSample(WavDepth depth) { return depth == kWavDepth16 ? 2 : depth == kWavDepth24 ? 3 : 4; }

WavFormat wavFormatFor(WavDepth depth, int channels, int sampleRate) {
    int bytes = wavBytesPerSample(depth);
    return {depth == kWavDepthFloat ? kWavFormatFloat : kWavFormatPcm, bytes * 8, channels, bytes * channels,
            sampleRate};
}

bool wavFitsRiff(const WavFormat &format, uint64_t frames) {
    uint64_t data = (uint64_t)(uint32_t)format.blockAlign * frames;
    return frames <= 0xFFFFFFFFull && data + 36 <= 0xFFFFFFFFull;
}

size_t buildWavHeader(uint8_t *out, const WavFormat &format, uint64_t frames) {
    uint64_t data = (uint64_t)(uint32_t)format.blockAlign * frames;
    if (wavFitsRiff(format, frames)) {
        putTag(out, "RIFF");
        put32(out + 4, (uint32_t)(data + 36));
        putTag(out + 8, "WAVE");
        putTag(out + 12, "fmt ");
        put32(out + 16, 16);
        putFormat(out + 20, format);
        putTag(out + 36, "data");
        put32(out + 40, (uint32_t)data);
        return kWavHeaderSize;
    }
    // RF64: the 32-bit sizes say 0xFFFFFFFF and the ds64 chunk carries the real ones.
    putTag(out, "RF64");
    put32(out + 4, 0xFFFFFFFFu);
    putTag(out + 8, "WAVE");
    putTag(out + 12, "ds64");
    put32(out + 16, 28);
    put64(out + 20, data + kRf64HeaderSize - 8);  // RIFF size
    put64(out + 28, data);                         // data size
    put64(out + 36, frames);                       // sample count
    put32(out + 44, 0);                            // no table entries
    putTag(out + 48, "fmt ");
    put32(out + 52, 16);
    putFormat(out + 56, format);
    putTag(out + 72, "data");
    put32(out + 76, 0xFFFFFFFFu);
    return kRf64HeaderSize;
}

bool writeWavHeader(int fd, const WavFormat &format, uint64_t frames) {
    uint8_t header[kMaxWavHeaderSize];
    size_t length = buildWavHeader(header, format, frames);
    return _write(fd, header, (unsigned)length) == (int)length;
}

int16_t encodePcm16(float x) {
    if (x >= 1.0f) return 32767;
    if (x != x) return 0;
    if (!(x >= -1.0f)) return -32768;
    return (int16_t)(x * 32768.0f);
}

int32_t encodePcm24(float x) {
    if (x >= 1.0f) return 8388607;
    if (x != x) return 0;
    if (!(x >= -1.0f)) return -8388608;
    return (int32_t)(x * 8388608.0f);
}

void encodeFrames(const float *const *channels, int channelCount, int frames, WavDepth depth, uint8_t *out) {
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channelCount; ++c) {
            float x = channels[c][i];
            switch (depth) {
            case kWavDepth16:
                put16(out, (uint16_t)encodePcm16(x));
                out += 2;
                break;
            case kWavDepth24: {
                uint32_t v = (uint32_t)encodePcm24(x);
                out[0] = (uint8_t)v;
                out[1] = (uint8_t)(v >> 8);
                out[2] = (uint8_t)(v >> 16);
                out += 3;
                break;
            }
            default:
                memcpy(out, &x, 4);
                out += 4;
                break;
            }
        }
    }
}
