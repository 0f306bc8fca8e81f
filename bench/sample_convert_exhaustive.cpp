// One-off check, run by hand: every one of the 2^32 float bit patterns through the
// integer output converters at every level this processor runs,
// against a reference written from the conversion rules (clip, multiply by the
// scale in double precision, round to nearest with ties to even). Also counts the
// inputs for which a product in single precision would round differently, the
// reason the converters multiply in double precision.
// Run: scripts/wine-run build/win64/bin/sample_convert_exhaustive.exe, and the same
// with build/win32 (a few minutes each).
#include "audio/sample_convert.h"

#include <emmintrin.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The product in double precision and its rounding to nearest, ties to even, by
// adding and removing 1.5 * 2^52 (exact for |v| < 2^51), in SSE2 scalar arithmetic:
// every step rounds to double.
double roundedProduct(float x, double scale) {
    const __m128d shift = _mm_set_sd(6755399441055744.0);
    const __m128d product = _mm_mul_sd(_mm_cvtss_sd(_mm_setzero_pd(), _mm_set_ss(x)), _mm_set_sd(scale));
    return _mm_cvtsd_f64(_mm_sub_sd(_mm_add_sd(product, shift), shift));
}

int32_t reference(float x, double scale, int32_t upper, int32_t lower) {
    if (x >= 1.0f) return upper;
    if (x <= -1.0f || x != x) return lower;
    return int32_t(roundedProduct(x, scale));
}

// Round to nearest, ties to even (for the single-precision count).
double roundHalfEven(double v) {
    volatile double shifted = v + 6755399441055744.0;
    return shifted - 6755399441055744.0;
}

int32_t singlePrecision(float x, float scale, int32_t upper, int32_t lower) {
    if (x >= 1.0f) return upper;
    if (x <= -1.0f || x != x) return lower;
    volatile float product = x * scale;
    return int32_t(roundHalfEven(double(product)));
}

int32_t readSample(const unsigned char *p, int size) {
    if (size == 2) {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    if (size == 4) {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    return int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
}

}  // namespace

int main() {
    const struct {
        long type;
        const char *name;
        double scale;
        int32_t upper, lower;
    } types[] = {{ASIOSTInt16LSB, "Int16LSB", 32767.49999, 32767, -32768},
                 {ASIOSTInt24LSB, "Int24LSB", 8388607.49999, 8388607, -8388608},
                 {ASIOSTInt32LSB, "Int32LSB", 2147483647.49999, 2147483647, -2147483647 - 1},
                 {ASIOSTInt32LSB18, "Int32LSB18", 131071.49999, 131071, -131072},
                 {ASIOSTInt32LSB20, "Int32LSB20", 524287.49999, 524287, -524288},
                 {ASIOSTInt32LSB24, "Int32LSB24", 8388607.49999, 8388607, -8388608}};
    const int chunk = 1 << 16;
    std::vector<float> source(chunk);
    std::vector<unsigned char> out(4 * chunk + 16);
    int failures = 0;
    for (const auto &t : types) {
        const int size = bytesPerSample(t.type);
        for (int level = kConverterBaseline; level <= supportedConverterLevel(); ++level) {
            // A level with the same forms as the one below (SSE2 is the baseline).
            if (level > kConverterBaseline && outputConverterFor(t.type, ConverterLevel(level)) ==
                                                  outputConverterFor(t.type, ConverterLevel(level - 1)))
                continue;
            char label[64];
            std::snprintf(label, sizeof label, "level %d", level);
            const OutputConverter convert = outputConverterFor(t.type, ConverterLevel(level));
            uint64_t mismatches = 0, singleDiffers = 0;
            for (uint64_t base = 0; base < (uint64_t(1) << 32); base += chunk) {
                for (int i = 0; i < chunk; ++i) {
                    const uint32_t bits = uint32_t(base + i);
                    std::memcpy(&source[i], &bits, 4);
                }
                convert(source.data(), out.data(), chunk);
                for (int i = 0; i < chunk; ++i) {
                    const int32_t expected = reference(source[i], t.scale, t.upper, t.lower);
                    if (readSample(&out[size * i], size) != expected && ++mismatches <= 5)
                        std::printf("  %s %s: x = %.9g (0x%08x) gives %d, expected %d\n", t.name, label,
                                    double(source[i]), unsigned(base + i), int(readSample(&out[size * i], size)),
                                    int(expected));
                    if (level == kConverterBaseline &&
                        singlePrecision(source[i], float(t.scale), t.upper, t.lower) != expected)
                        ++singleDiffers;
                }
            }
            std::printf("%s, %s: %llu of 2^32 inputs differ from the reference\n", t.name, label,
                        (unsigned long long)mismatches);
            if (level == kConverterBaseline)
                std::printf("%s: a single-precision product would differ for %llu inputs\n", t.name,
                            (unsigned long long)singleDiffers);
            if (mismatches) ++failures;
        }
    }
    return failures ? 1 : 0;
}
