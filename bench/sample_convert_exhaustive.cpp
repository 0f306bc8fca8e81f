// One-off check, run by hand: every one of the 2^32 float bit patterns through the
// integer output converters at every level this processor runs,
// against a reference written from the conversion rules (clip, multiply by the
// scale in double precision, round to nearest with ties to even). Also counts the
// inputs for which a product in single precision would round differently, the
// reason the converters multiply in double precision. In the 32-bit build the
// scalar forms, which run on the x87 unit, are checked under both the 53-bit and the
// 64-bit precision control, and it counts the inputs for which an x87 product at
// 64-bit precision would round differently, the reason they set the precision.
// Run: scripts/wine-run build/win64/bin/sample_convert_exhaustive.exe, and the same
// with build/win32 (a few minutes each).
#include "audio/sample_convert.h"

#include <emmintrin.h>
#include <float.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The product in double precision and its rounding to nearest, ties to even, by
// adding and removing 1.5 * 2^52 (exact for |v| < 2^51), in SSE2 scalar arithmetic:
// every step rounds to double in both builds (x87 arithmetic would not in the 32-bit one).
__attribute__((target("sse2"))) double roundedProduct(float x, double scale) {
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

#if defined(__i386__)
// The x87 product at 64-bit precision, rounded to an integer by the x87 unit.
int32_t extendedPrecision(float x, double scale, int32_t upper, int32_t lower) {
    if (x >= 1.0f) return upper;
    if (x <= -1.0f || x != x) return lower;
    const long double product = (long double)x * (long double)scale;
    int32_t r;
    __asm__("fistpl %0" : "=m"(r) : "t"(product) : "st");
    return r;
}
#endif

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
    // The runs: each level, and in the 32-bit build the scalar forms under both x87
    // precisions (a new thread starts at 53 bits, this program's main thread at 64).
    struct Run {
        int level;
        bool setPrecision;   // set the x87 precision control to `precision` for the run
        unsigned precision;  // _PC_53 or _PC_64 (which is 0)
        const char *label;
    };
    std::vector<Run> runs;
#if defined(__i386__)
    runs.push_back({kConverterBaseline, true, _PC_53, "level 0 (scalar, x87 at 53 bits)"});
    runs.push_back({kConverterBaseline, true, _PC_64, "level 0 (scalar, x87 at 64 bits)"});
    for (int level = kConverterSse2; level <= supportedConverterLevel(); ++level)
        runs.push_back({level, false, 0, nullptr});
#else
    for (int level = kConverterBaseline; level <= supportedConverterLevel(); ++level)
        runs.push_back({level, false, 0, nullptr});
#endif
    for (const auto &t : types) {
        const int size = bytesPerSample(t.type);
        for (const Run &run : runs) {
            const int level = run.level;
            // A level with the same forms as the one below (SSE2 is the x86_64 baseline).
            if (level > kConverterBaseline && outputConverterFor(t.type, ConverterLevel(level)) ==
                                                  outputConverterFor(t.type, ConverterLevel(level - 1)))
                continue;
            char label[64];
            if (run.label)
                std::snprintf(label, sizeof label, "%s", run.label);
            else
                std::snprintf(label, sizeof label, "level %d", level);
#if defined(__i386__)
            const unsigned savedControl = _controlfp(0, 0);
            if (run.setPrecision) _controlfp(run.precision, _MCW_PC);
#endif
            const OutputConverter convert = outputConverterFor(t.type, ConverterLevel(level));
            uint64_t mismatches = 0, singleDiffers = 0;
#if defined(__i386__)
            uint64_t extendedDiffers = 0;
#endif
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
                    if (&run == &runs.front() &&
                        singlePrecision(source[i], float(t.scale), t.upper, t.lower) != expected)
                        ++singleDiffers;
#if defined(__i386__)
                    if (run.setPrecision && run.precision == _PC_64 &&
                        extendedPrecision(source[i], t.scale, t.upper, t.lower) != expected &&
                        ++extendedDiffers <= 3)
                        std::printf("  %s: x87 at 64 bits differs for x = %.9g (0x%08x)\n", t.name,
                                    double(source[i]), unsigned(base + i));
#endif
                }
            }
#if defined(__i386__)
            _controlfp(savedControl, _MCW_PC);
#endif
            std::printf("%s, %s: %llu of 2^32 inputs differ from the reference\n", t.name, label,
                        (unsigned long long)mismatches);
            if (&run == &runs.front())
                std::printf("%s: a single-precision product would differ for %llu inputs\n", t.name,
                            (unsigned long long)singleDiffers);
#if defined(__i386__)
            if (run.setPrecision && run.precision == _PC_64)
                std::printf("%s: an x87 product at 64-bit precision would differ for %llu inputs\n", t.name,
                            (unsigned long long)extendedDiffers);
#endif
            if (mismatches) ++failures;
        }
    }
    return failures ? 1 : 0;
}
