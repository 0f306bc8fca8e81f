#include "export/takes/finished_take.h"

#include <cmath>
#include <cstring>

#include "core/raw_file.h"

namespace {

// The largest magnitude among count values, compared as the bits of their magnitudes
// (which order as the magnitudes do), so the loop needs no floating-point compare; a NaN
// counts as nothing.
float peakOf(const float *x, int count) {
    int32_t most = 0;
    for (int i = 0; i < count; ++i) {
        int32_t bits;
        memcpy(&bits, x + i, 4);
        bits &= 0x7FFFFFFF;
        bits = bits > 0x7F800000 ? 0 : bits;
        most = bits > most ? bits : most;
    }
    float peak;
    memcpy(&peak, &most, 4);
    return peak;
}

}  // namespace

float takePeak(const TakeAudio &audio, uint32_t frames, int channels) {
    float left[kTakeReadFrames], right[kTakeReadFrames], peak = 0.0f;
    for (uint32_t done = 0; done < frames;) {
        int n = frames - done < (uint32_t)kTakeReadFrames ? (int)(frames - done) : kTakeReadFrames;
        const float *l = readTakeFrames(audio, 0, done, n, left), *r = readTakeFrames(audio, 1, done, n, right);
        if (channels == 1) {
            for (int i = 0; i < n; ++i) left[i] = (l[i] + r[i]) * 0.5f;
            peak = std::fmax(peak, peakOf(left, n));
        } else {
            peak = std::fmax(peak, std::fmax(peakOf(l, n), peakOf(r, n)));
        }
        done += (uint32_t)n;
    }
    return peak;
}

uint64_t takeDigest(const TakeAudio &audio, uint32_t frames) {
    // Four lanes of 64-bit words (two frames each), each multiplied into its own state
    // so that the multiplies need not wait for one another, folded together at the end.
    uint64_t a = 0x9E3779B97F4A7C15ull, b = 0xC2B2AE3D27D4EB4Full, c = 0x165667B19E3779F9ull,
             d = 0x27D4EB2F165667C5ull;
    const uint64_t prime = 0x100000001B3ull;
    float scratch[kTakeReadFrames];
    for (int channel = 0; channel < 2; ++channel) {
        for (uint32_t done = 0; done < frames;) {
            int n = frames - done < (uint32_t)kTakeReadFrames ? (int)(frames - done) : kTakeReadFrames;
            const float *chunk = readTakeFrames(audio, channel, done, n, scratch);
            uint64_t w[4];
            int i = 0;
            for (; i + 8 <= n; i += 8) {
                memcpy(w, chunk + i, 32);
                a = (a ^ w[0]) * prime, b = (b ^ w[1]) * prime, c = (c ^ w[2]) * prime, d = (d ^ w[3]) * prime;
                a ^= a >> 32, b ^= b >> 32, c ^= c >> 32, d ^= d >> 32;
            }
            for (; i < n; ++i) {
                uint32_t word;
                memcpy(&word, chunk + i, 4);
                a = (a ^ word) * prime;
            }
            a ^= a >> 29, b ^= b >> 29, c ^= c >> 29, d ^= d >> 29;
            done += (uint32_t)n;
        }
    }
    return ((a * 3 + b) * 3 + c) * 3 + d;
}

const float *readTakeFrames(const TakeAudio &audio, int channel, uint32_t from, int count, float *scratch) {
    int c = channel != 0;
    if (audio.memory[c]) return audio.memory[c] + from;
    if (count > 0) {
        seekFile(audio.files[c], (audio.fileFrame + from) * sizeof(float));
        readOrSilence(audio.files[c], scratch, (DWORD)count);
    }
    return scratch;
}
