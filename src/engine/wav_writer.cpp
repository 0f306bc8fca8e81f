#include "engine/wav_writer.h"

#include <io.h>

#include <cmath>
#include <cstring>

#include "core/byte_order.h"
#include "core/sse2.h"

namespace {

// The 16-byte format chunk body; its 16-bit fields take the low 16 bits.
void putFormat(uint8_t *p, const WavFormat &f) {
    putLe16(p, (uint32_t)f.formatTag & 0xFFFF);
    putLe16(p + 2, (uint32_t)f.channels & 0xFFFF);
    putLe32(p + 4, (uint32_t)f.sampleRate);
    putLe32(p + 8, (uint32_t)f.sampleRate * (uint32_t)f.blockAlign);
    putLe16(p + 12, (uint32_t)f.blockAlign & 0xFFFF);
    putLe16(p + 14, (uint32_t)f.bitsPerSample & 0xFFFF);
}

}  // namespace

int wavBytesPerSample(WavDepth depth) { return depth == kWavDepth16 ? 2 : depth == kWavDepth24 ? 3 : 4; }

WavFormat wavFormatFor(WavDepth depth, int channels, int sampleRate) {
    int bytes = wavBytesPerSample(depth);
    return {depth == kWavDepthFloat ? kWavFormatFloat : kWavFormatPcm, bytes * 8, channels, bytes * channels,
            sampleRate};
}

bool wavFitsRiff(const WavFormat &format, uint64_t frames, bool samplerChunks) {
    uint64_t data = (uint64_t)(uint32_t)format.blockAlign * frames;
    uint64_t chunks = samplerChunks ? kWavSamplerChunksSize : 0;  // the most they take
    return frames <= 0xFFFFFFFFull && data + 36 + chunks <= 0xFFFFFFFFull;
}

WavTuning wavTuning(uint8_t rootKey, double cents) {
    WavTuning t;
    // smpl: the unity note at or below the pitch, and the rest of a semitone above it.
    double semitones = cents / 100.0;
    double below = std::floor(semitones);
    int unity = rootKey + (int)below;
    double fraction = semitones - below;
    uint64_t scaled = (uint64_t)std::floor(fraction * 4294967296.0 + 0.5);
    if (scaled > 0xFFFFFFFFull) {  // rounds up to the next semitone
        scaled = 0;
        ++unity;
    }
    t.unityNote = (uint8_t)(unity < 0 ? 0 : unity > 127 ? 127 : unity);
    t.pitchFraction = (uint32_t)scaled;
    // inst: the nearest note, and the cents that bring the sample onto it.
    int nearest = (int)std::floor(semitones + 0.5);
    int tune = (int)std::floor(-(cents - 100.0 * nearest) + 0.5);
    int unshifted = rootKey + nearest;
    t.unshiftedNote = (uint8_t)(unshifted < 0 ? 0 : unshifted > 127 ? 127 : unshifted);
    t.fineTune = (int8_t)(tune < -50 ? -50 : tune > 50 ? 50 : tune);
    return t;
}

namespace {

// The smpl chunk (one loop or none) and the inst chunk; returns their length.
size_t putSamplerChunks(uint8_t *out, const WavFormat &format, const WavSamplerData &sampler) {
    const WavTuning tuning = wavTuning(sampler.rootKey, sampler.centsAboveRoot);
    const uint32_t loops = sampler.looped ? 1 : 0;
    const uint32_t smplSize = 36 + 24 * loops;
    putTag(out, "smpl");
    putLe32(out + 4, smplSize);
    putLe32(out + 8, 0);   // manufacturer
    putLe32(out + 12, 0);  // product
    putLe32(out + 16, format.sampleRate > 0 ? (uint32_t)(1000000000u / (uint32_t)format.sampleRate) : 0);
    putLe32(out + 20, tuning.unityNote);
    putLe32(out + 24, tuning.pitchFraction);
    putLe32(out + 28, 0);  // SMPTE format
    putLe32(out + 32, 0);  // SMPTE offset
    putLe32(out + 36, loops);
    putLe32(out + 40, 0);  // sampler data
    size_t at = 44;
    if (loops) {
        putLe32(out + at, 0);                        // cue point id
        putLe32(out + at + 4, 0);                    // forward
        putLe32(out + at + 8, sampler.loopStart);
        putLe32(out + at + 12, sampler.loopEnd - 1);  // the loop's last frame, played
        putLe32(out + at + 16, 0);                   // fraction
        putLe32(out + at + 20, 0);                   // play forever
        at += 24;
    }
    // The inst chunk's seven bytes and one more, so that its size is even: a reader that
    // does not skip the pad byte after an odd-sized chunk (Polyphone does not) still
    // finds the next chunk.
    putTag(out + at, "inst");
    putLe32(out + at + 4, 8);
    out[at + 8] = tuning.unshiftedNote;
    out[at + 9] = (uint8_t)tuning.fineTune;
    out[at + 10] = 0;  // gain, dB
    out[at + 11] = sampler.lowKey;
    out[at + 12] = sampler.highKey;
    out[at + 13] = sampler.lowVelocity;
    out[at + 14] = sampler.highVelocity;
    out[at + 15] = 0;
    return at + 16;
}

}  // namespace

size_t buildWavHeader(uint8_t *out, const WavFormat &format, uint64_t frames, const WavSamplerData *sampler) {
    uint64_t data = (uint64_t)(uint32_t)format.blockAlign * frames;
    uint8_t chunks[kWavSamplerChunksSize];
    const size_t extra = sampler ? putSamplerChunks(chunks, format, *sampler) : 0;
    if (wavFitsRiff(format, frames, sampler != nullptr)) {
        putTag(out, "RIFF");
        putLe32(out + 4, (uint32_t)(data + 36 + extra));
        putTag(out + 8, "WAVE");
        putTag(out + 12, "fmt ");
        putLe32(out + 16, 16);
        putFormat(out + 20, format);
        memcpy(out + 36, chunks, extra);
        putTag(out + 36 + extra, "data");
        putLe32(out + 40 + extra, (uint32_t)data);
        return kWavHeaderSize + extra;
    }
    // RF64: the 32-bit sizes say 0xFFFFFFFF and the ds64 chunk carries the real ones.
    putTag(out, "RF64");
    putLe32(out + 4, 0xFFFFFFFFu);
    putTag(out + 8, "WAVE");
    putTag(out + 12, "ds64");
    putLe32(out + 16, 28);
    putLe64(out + 20, data + kRf64HeaderSize + extra - 8);  // RIFF size
    putLe64(out + 28, data);                                 // data size
    putLe64(out + 36, frames);                               // sample count
    putLe32(out + 44, 0);                                    // no table entries
    putTag(out + 48, "fmt ");
    putLe32(out + 52, 16);
    putFormat(out + 56, format);
    memcpy(out + 72, chunks, extra);
    putTag(out + 72 + extra, "data");
    putLe32(out + 76 + extra, 0xFFFFFFFFu);
    return kRf64HeaderSize + extra;
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


namespace {

// NaN becomes 0, then everything is held within +-2 so that the scaled value fits
// an int32 and truncating gives what the scalar forms give: within -1 ... 1 the
// product is exact (a power-of-two scale), and beyond it the clamp below decides.
inline __m128 tamed(const float *in) {
    __m128 x = _mm_loadu_ps(in);
    x = _mm_and_ps(x, _mm_cmpord_ps(x, x));
    return _mm_min_ps(_mm_max_ps(x, _mm_set1_ps(-2.0f)), _mm_set1_ps(2.0f));
}

void pcm16Sse2(const float *in, int16_t *out, int n) {
    const __m128 scale = _mm_set1_ps(32768.0f);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        // packs saturates: 32768 (x = 1) becomes 32767, below -32768 becomes -32768.
        __m128i a = _mm_cvttps_epi32(_mm_mul_ps(tamed(in + i), scale));
        __m128i b = _mm_cvttps_epi32(_mm_mul_ps(tamed(in + i + 4), scale));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_packs_epi32(a, b));
    }
    for (; i < n; ++i) {
        float x[4] = {in[i], 0.0f, 0.0f, 0.0f};
        __m128i v = _mm_cvttps_epi32(_mm_mul_ps(tamed(x), scale));
        out[i] = (int16_t)_mm_cvtsi128_si32(_mm_packs_epi32(v, v));
    }
}

void pcm24Sse2(const float *in, int32_t *out, int n) {
    const __m128 scale = _mm_set1_ps(8388608.0f);
    const __m128 high = _mm_set1_ps(8388607.0f), low = _mm_set1_ps(-8388608.0f);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 v = _mm_min_ps(_mm_max_ps(_mm_mul_ps(tamed(in + i), scale), low), high);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_cvttps_epi32(v));
    }
    for (; i < n; ++i) {
        float x[4] = {in[i], 0.0f, 0.0f, 0.0f};
        __m128 v = _mm_min_ps(_mm_max_ps(_mm_mul_ps(tamed(x), scale), low), high);
        out[i] = _mm_cvtsi128_si32(_mm_cvttps_epi32(v));
    }
}

// The sum, except where the right channel is a NaN: there that NaN (quieted), as the
// scalar form gives. The compiler may swap an addition's operands, so which of two
// NaNs an addition passes on is not left to it.
inline __m128 mixedSum(__m128 l, __m128 r) {
    __m128 rightNaN = _mm_cmpunord_ps(r, r);
    return _mm_or_ps(_mm_and_ps(rightNaN, _mm_add_ps(r, r)), _mm_andnot_ps(rightNaN, _mm_add_ps(l, r)));
}

void mixSse2(const float *left, const float *right, float *out, int n) {
    const __m128 half = _mm_set1_ps(0.5f);
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps(out + i, _mm_mul_ps(mixedSum(_mm_loadu_ps(left + i), _mm_loadu_ps(right + i)), half));
    for (; i < n; ++i)
        _mm_store_ss(out + i, _mm_mul_ss(mixedSum(_mm_load_ss(left + i), _mm_load_ss(right + i)), half));
}

// Two runs of 16-bit samples interleaved, left first, as little-endian bytes.
void interleave16Sse2(const int16_t *left, const int16_t *right, int n, uint8_t *out) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i *>(left + i));
        __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i *>(right + i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * i), _mm_unpacklo_epi16(l, r));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * i + 16), _mm_unpackhi_epi16(l, r));
    }
    for (; i < n; ++i) {
        putLe16(out + 4 * i, (uint16_t)left[i]);
        putLe16(out + 4 * i + 2, (uint16_t)right[i]);
    }
}

const int kEncodeRun = 256;  // frames encoded per channel before they are interleaved

}  // namespace

void encodePcm16Block(const float *in, int16_t *out, int n, bool vector) {
    if (vector) return pcm16Sse2(in, out, n);
    for (int i = 0; i < n; ++i) out[i] = encodePcm16(in[i]);
}

void encodePcm24Block(const float *in, int32_t *out, int n, bool vector) {
    if (vector) return pcm24Sse2(in, out, n);
    for (int i = 0; i < n; ++i) out[i] = encodePcm24(in[i]);
}

void mixToMono(const float *left, const float *right, float *out, int n, bool vector) {
    if (vector) return mixSse2(left, right, out, n);
    for (int i = 0; i < n; ++i) {
        float l = left[i], r = right[i];
        // Of two NaNs the right one's comes through, whichever order the compiler adds in.
        float sum = r != r ? r + r : l + r;
        out[i] = sum * 0.5f;
    }
}

void encodeFrames(const float *const *channels, int channelCount, int frames, WavDepth depth, uint8_t *out,
                  bool vector) {
    const int bytes = wavBytesPerSample(depth);
    const size_t frameBytes = (size_t)bytes * (size_t)channelCount;
    int16_t pcm16[kEncodeRun];
    int32_t pcm24[kEncodeRun];
    for (int done = 0; done < frames; done += kEncodeRun) {
        int n = frames - done < kEncodeRun ? frames - done : kEncodeRun;
        uint8_t *frame = out + (size_t)done * frameBytes;
        if (depth == kWavDepth16 && channelCount == 2 && vector) {
            int16_t right16[kEncodeRun];
            pcm16Sse2(channels[0] + done, pcm16, n);
            pcm16Sse2(channels[1] + done, right16, n);
            interleave16Sse2(pcm16, right16, n, frame);
            continue;
        }
        if (depth == kWavDepth16 && channelCount == 1) {
            // One channel: the samples are the frames (little-endian, as this processor stores them).
            encodePcm16Block(channels[0] + done, pcm16, n, vector);
            memcpy(frame, pcm16, (size_t)n * 2);
            continue;
        }
        for (int c = 0; c < channelCount; ++c) {
            const float *in = channels[c] + done;
            uint8_t *p = frame + (size_t)c * bytes;
            switch (depth) {
            case kWavDepth16:
                encodePcm16Block(in, pcm16, n, vector);
                for (int i = 0; i < n; ++i, p += frameBytes) putLe16(p, (uint16_t)pcm16[i]);
                break;
            case kWavDepth24:
                encodePcm24Block(in, pcm24, n, vector);
                for (int i = 0; i < n; ++i, p += frameBytes) {
                    uint32_t v = (uint32_t)pcm24[i];
                    p[0] = (uint8_t)v;
                    p[1] = (uint8_t)(v >> 8);
                    p[2] = (uint8_t)(v >> 16);
                }
                break;
            default:
                for (int i = 0; i < n; ++i, p += frameBytes) memcpy(p, in + i, 4);
                break;
            }
        }
    }
}
