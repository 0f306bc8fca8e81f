#include "export/takes/finished_take.h"

#include <cmath>
#include <cstring>

#include <emmintrin.h>

#include "core/raw_file.h"

namespace {

// The largest magnitude among count values, four at a time; a NaN counts as nothing
// (the packed maximum hands back its second operand, the maximum so far, when the first
// is not a number).
float peakOf(const float *x, int count) {
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 most0 = _mm_setzero_ps(), most1 = _mm_setzero_ps();
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        most0 = _mm_max_ps(_mm_and_ps(_mm_loadu_ps(x + i), magnitude), most0);
        most1 = _mm_max_ps(_mm_and_ps(_mm_loadu_ps(x + i + 4), magnitude), most1);
    }
    float lanes[4];
    _mm_storeu_ps(lanes, _mm_max_ps(most0, most1));
    float peak = std::fmax(std::fmax(lanes[0], lanes[1]), std::fmax(lanes[2], lanes[3]));
    for (; i < count; ++i) peak = std::fmax(peak, std::fabs(x[i]));  // fmax: a NaN loses
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

namespace {

typedef uint32_t Words4 __attribute__((vector_size(16)));  // four words side by side (SSE2 in both builds)

inline Words4 rotateLeft(Words4 x, int k) { return x << k | x >> (32 - k); }

}  // namespace

uint64_t takeDigest(const TakeAudio &audio, uint32_t frames) {
    // Two streams (alternate blocks of four words), each two states of four 32-bit lanes
    // stirred by adds, rotates and exclusive-ors (no multiply: four lanes at once would
    // need instructions SSE2 lacks), so that neither waits for the other; folded
    // together at the end.
    Words4 a[2] = {{0x9E3779B9u, 0x85EBCA6Bu, 0xC2B2AE35u, 0x27D4EB2Fu},
                   {0x2545F491u, 0x4F6CDD1Du, 0x68E31DA4u, 0xB5297A4Du}};
    Words4 b[2] = {{0x165667B1u, 0xD3A2646Cu, 0xFD7046C5u, 0xB55A4F09u},
                   {0x1B873593u, 0xCC9E2D51u, 0xE6546B64u, 0x85EBCA77u}};
    auto stir = [&](int s, Words4 w) {
        a[s] += w;
        a[s] = rotateLeft(a[s], 11) ^ b[s];
        b[s] += a[s];
        b[s] = rotateLeft(b[s], 19) ^ w;
    };
    float scratch[kTakeReadFrames];
    for (int channel = 0; channel < 2; ++channel) {
        for (uint32_t done = 0; done < frames;) {
            int n = frames - done < (uint32_t)kTakeReadFrames ? (int)(frames - done) : kTakeReadFrames;
            const float *chunk = readTakeFrames(audio, channel, done, n, scratch);
            int i = 0;
            for (; i + 8 <= n; i += 8) {
                Words4 w[2];
                memcpy(w, chunk + i, 32);
                stir(0, w[0]);
                stir(1, w[1]);
            }
            for (; i < n; i += 4) {
                Words4 w = {0, 0, 0, 0};
                memcpy(&w, chunk + i, (size_t)(n - i < 4 ? n - i : 4) * 4);
                stir(0, w);
            }
            stir(1, Words4{(uint32_t)n, (uint32_t)channel, 0, 0});
            done += (uint32_t)n;
        }
    }
    uint64_t digest = 0;
    for (int s = 0; s < 2; ++s)
        for (int k = 0; k < 4; ++k) {
            digest = (digest ^ a[s][k]) * 0x100000001B3ull;
            digest = (digest ^ b[s][k]) * 0x100000001B3ull;
            digest ^= digest >> 29;
        }
    return digest;
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
