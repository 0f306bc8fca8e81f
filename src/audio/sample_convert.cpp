#include "audio/sample_convert.h"

#include <cmath>
#include <cstdint>
#include <cstring>

// SSE2 is the baseline of both builds; the 64-bit build also has AVX forms, picked
// at stream open on a processor that has AVX.
#include "core/sse2.h"
#if defined(__x86_64__)
#include <immintrin.h>
#define KORVANE_AVX_CONVERTERS 1
#endif

namespace {

const unsigned char kBytesPerSample[kSampleTypeCount] = {
    2, 3, 4, 4, 8, 0, 0, 0, 4, 4, 4, 4, 0, 0, 0, 0,
    2, 3, 4, 4, 8, 0, 0, 0, 4, 4, 4, 4,
};

// Driver buffers are read and written through memcpy so that no alignment is
// assumed; the compiler turns each into one plain load or store.
template <typename T>
inline T load(const unsigned char *p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
inline void store(unsigned char *p, T v) {
    std::memcpy(p, &v, sizeof v);
}

inline long roundEven(double v) { return _mm_cvtsd_si32(_mm_set_sd(v)); }

// The integer outputs round their products to nearest, ties to even, by the rounding
// field of the thread's MXCSR, which a plugin on the same thread may leave set to
// another mode (down, up, towards zero): the guard sets it to nearest while it lives
// and hands the caller's back. The memory clobbers keep the converter's loads, and
// so its arithmetic, between the two.
class NearestRounding {
public:
    NearestRounding() : saved(_mm_getcsr()) {
        if (saved & kRoundingField) setCsr(saved & ~kRoundingField);
    }
    ~NearestRounding() {
        if (saved & kRoundingField) setCsr(saved);
    }
    NearestRounding(const NearestRounding &) = delete;
    NearestRounding &operator=(const NearestRounding &) = delete;

private:
    static const unsigned kRoundingField = 0x6000;
    static void setCsr(unsigned value) { __asm__ volatile("ldmxcsr %0" : : "m"(value) : "memory"); }
    unsigned saved;
};

// Scales for integer outputs: the upper limit plus 0.49999, so that full scale
// rounds to the upper limit.
const double kScale16 = 32767.49999;
const double kScale18 = 131071.49999;
const double kScale20 = 524287.49999;
const double kScale24 = 8388607.49999;
const double kScale32 = 2147483647.49999;

// Clip, then scale and round. x >= 1 gives round(scale), the upper limit; x <= -1
// and NaN give the lower limit, one below round(-scale). Written without branches
// so that the vector form below computes the very same values.
inline long clipScale(float x, double scale) {
    const bool aboveLower = x > -1.0f;  // false for NaN
    float c = aboveLower ? x : -1.0f;
    c = c < 1.0f ? c : 1.0f;
    return roundEven(c * scale) - (aboveLower ? 0 : 1);
}


// Four samples at once, same results as clipScale. maxps returns its second
// operand when the first is NaN, which sends NaN to -1 before scaling.
inline __m128i clipScale4(__m128 x, __m128d scale) {
    const __m128 minusOne = _mm_set1_ps(-1.0f);
    const __m128 atOrBelowLower = _mm_cmpngt_ps(x, minusOne);  // x <= -1 or NaN: all ones (-1)
    const __m128 c = _mm_min_ps(_mm_max_ps(x, minusOne), _mm_set1_ps(1.0f));
    const __m128i low = _mm_cvtpd_epi32(_mm_mul_pd(_mm_cvtps_pd(c), scale));
    const __m128i high = _mm_cvtpd_epi32(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(c, c)), scale));
    return _mm_add_epi32(_mm_unpacklo_epi64(low, high), _mm_castps_si128(atOrBelowLower));
}

inline __m128i clipScale4(const float *source, __m128d scale) {
    return clipScale4(_mm_loadu_ps(source), scale);
}

// One sample through the vector form: the tails of the SSE2 loops.
inline int32_t clipScale1(const float *source, __m128d scale) {
    return _mm_cvtsi128_si32(clipScale4(_mm_load_ss(source), scale));
}

// ---- driver -> float ----
// Each type has a scalar loop over frames [i, frames), the tail of the SSE2 form.
// The input conversions are exact or round once, in any rounding mode alike.

inline void inInt16Scalar(const unsigned char *p, float *destination, int i, int frames) {
    for (; i < frames; ++i) destination[i] = float(load<int16_t>(p + 2 * i)) * (1.0f / 32768.0f);
}

// The first sample bytewise: the sample in the top three bytes, shifted back with its
// sign; the others with one four-byte load that starts at the last byte of the previous sample.
inline void inInt24Scalar(const unsigned char *p, float *destination, int i, int frames) {
    const float scale = 1.0f / 8388608.0f;
    if (i == 0 && frames > 0) {
        destination[0] = float(int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8) * scale;
        i = 1;
    }
    for (; i < frames; ++i) destination[i] = float(load<int32_t>(p + 3 * i - 1) >> 8) * scale;
}

template <int Shift>
inline void inInt32Scalar(const unsigned char *p, float *destination, int i, int frames) {
    const float scale = 1.0f / float(1u << Shift);  // a power of two: exact
    for (; i < frames; ++i) destination[i] = float(load<int32_t>(p + 4 * i)) * scale;
}

inline void inFloat64Scalar(const unsigned char *p, float *destination, int i, int frames) {
    for (; i < frames; ++i) destination[i] = float(load<double>(p + 8 * i));
}

void inFloat32(const void *source, float *destination, int frames) {
    std::memcpy(destination, source, size_t(frames) * sizeof(float));
}

void inInt16Sse2(const void *source, float *destination, int frames) {
    const unsigned char *p = static_cast<const unsigned char *>(source);
    // Each 16-bit sample into the top half of a 32-bit lane (value * 65536, exact as
    // a float), then scaled by 2^-31.
    const __m128 vscale = _mm_set1_ps(1.0f / 2147483648.0f);
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 8 <= frames; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 2 * i));
        _mm_storeu_ps(destination + i, _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(zero, v)), vscale));
        _mm_storeu_ps(destination + i + 4, _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(zero, v)), vscale));
    }
    inInt16Scalar(p, destination, i, frames);
}

void inInt24Sse2(const void *source, float *destination, int frames) {
    const unsigned char *p = static_cast<const unsigned char *>(source);
    if (frames <= 0) return;
    inInt24Scalar(p, destination, 0, 1);
    // Four samples from one 16-byte load (12 bytes used): shifting the register by
    // 0, 3, 6 and 9 bytes brings each sample to the bottom of a 32-bit lane.
    const __m128 vscale = _mm_set1_ps(1.0f / 8388608.0f);
    int i = 1;
    for (; i + 6 <= frames; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 3 * i));
        const __m128i ab = _mm_unpacklo_epi32(v, _mm_srli_si128(v, 3));
        const __m128i cd = _mm_unpacklo_epi32(_mm_srli_si128(v, 6), _mm_srli_si128(v, 9));
        const __m128i samples = _mm_srai_epi32(_mm_slli_epi32(_mm_unpacklo_epi64(ab, cd), 8), 8);
        _mm_storeu_ps(destination + i, _mm_mul_ps(_mm_cvtepi32_ps(samples), vscale));
    }
    inInt24Scalar(p, destination, i, frames);
}

template <int Shift>
void inInt32Sse2(const void *source, float *destination, int frames) {
    const unsigned char *p = static_cast<const unsigned char *>(source);
    const __m128 vscale = _mm_set1_ps(1.0f / float(1u << Shift));
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 4 * i));
        _mm_storeu_ps(destination + i, _mm_mul_ps(_mm_cvtepi32_ps(v), vscale));
    }
    inInt32Scalar<Shift>(p, destination, i, frames);
}

void inFloat64Sse2(const void *source, float *destination, int frames) {
    const unsigned char *p = static_cast<const unsigned char *>(source);
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        const __m128 low = _mm_cvtpd_ps(_mm_loadu_pd(reinterpret_cast<const double *>(p + 8 * i)));
        const __m128 high = _mm_cvtpd_ps(_mm_loadu_pd(reinterpret_cast<const double *>(p + 8 * i + 16)));
        _mm_storeu_ps(destination + i, _mm_movelh_ps(low, high));
    }
    inFloat64Scalar(p, destination, i, frames);
}

// ---- float -> driver ----

// Packed 24-bit output of frames [i, frames), one sample at a time: the tail of the
// AVX loop.
inline void outInt24Scalar(const float *source, unsigned char *p, int i, int frames) {
    for (; i < frames; ++i) {
        const uint32_t v = uint32_t(clipScale(source[i], kScale24));
        p[3 * i] = static_cast<unsigned char>(v);
        p[3 * i + 1] = static_cast<unsigned char>(v >> 8);
        p[3 * i + 2] = static_cast<unsigned char>(v >> 16);
    }
}

inline float clipFloat(float x) {
    const float c = x > -1.0f ? x : -1.0f;  // NaN -> -1
    return c < 1.0f ? c : 1.0f;
}

inline void outFloat32Scalar(const float *source, unsigned char *p, int i, int frames) {
    for (; i < frames; ++i) store<float>(p + 4 * i, clipFloat(source[i]));
}

inline void outFloat64Scalar(const float *source, unsigned char *p, int i, int frames) {
    for (; i < frames; ++i) store<double>(p + 8 * i, double(clipFloat(source[i])));
}

void outInt16Sse2(const float *source, void *destination, int frames) {
    NearestRounding rounding;
    unsigned char *p = static_cast<unsigned char *>(destination);
    const __m128d scale = _mm_set1_pd(kScale16);
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        const __m128i v = clipScale4(source + i, scale);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(p + 2 * i), _mm_packs_epi32(v, v));
    }
    for (; i < frames; ++i) store<int16_t>(p + 2 * i, int16_t(clipScale1(source + i, scale)));
}

void outInt24Sse2(const float *source, void *destination, int frames) {
    NearestRounding rounding;
    unsigned char *p = static_cast<unsigned char *>(destination);
    // Four samples packed into two 48-bit groups (v0 | v1 << 24, v2 | v3 << 24),
    // written as two 8-byte stores six bytes apart; the two spare bytes of each
    // store are rewritten by the next store, and the last samples go bytewise.
    const __m128d scale = _mm_set1_pd(kScale24);
    const __m128i low24 = _mm_set_epi32(0, 0xFFFFFF, 0, 0xFFFFFF);
    const __m128i high24 = _mm_set_epi32(0xFFFFFF, 0, 0xFFFFFF, 0);
    int i = 0;
    for (; i + 5 <= frames; i += 4) {
        const __m128i v = clipScale4(source + i, scale);
        const __m128i packed = _mm_or_si128(_mm_and_si128(v, low24), _mm_srli_epi64(_mm_and_si128(v, high24), 8));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(p + 3 * i), packed);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(p + 3 * i + 6), _mm_unpackhi_epi64(packed, packed));
    }
    for (; i < frames; ++i) {
        const uint32_t v = uint32_t(clipScale1(source + i, scale));
        p[3 * i] = static_cast<unsigned char>(v);
        p[3 * i + 1] = static_cast<unsigned char>(v >> 8);
        p[3 * i + 2] = static_cast<unsigned char>(v >> 16);
    }
}

// 32-bit containers: full 32 bits, or 18, 20 or 24 significant bits right-aligned.
template <const double &Scale>
void outInt32Sse2(const float *source, void *destination, int frames) {
    NearestRounding rounding;
    unsigned char *p = static_cast<unsigned char *>(destination);
    const __m128d scale = _mm_set1_pd(Scale);
    int i = 0;
    for (; i + 4 <= frames; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 4 * i), clipScale4(source + i, scale));
    for (; i < frames; ++i) store<int32_t>(p + 4 * i, clipScale1(source + i, scale));
}

void outFloat32Sse2(const float *source, void *destination, int frames) {
    unsigned char *p = static_cast<unsigned char *>(destination);
    const __m128 minusOne = _mm_set1_ps(-1.0f), one = _mm_set1_ps(1.0f);
    int i = 0;
    for (; i + 4 <= frames; i += 4)
        _mm_storeu_ps(reinterpret_cast<float *>(p + 4 * i),
                      _mm_min_ps(_mm_max_ps(_mm_loadu_ps(source + i), minusOne), one));
    outFloat32Scalar(source, p, i, frames);
}

void outFloat64Sse2(const float *source, void *destination, int frames) {
    unsigned char *p = static_cast<unsigned char *>(destination);
    const __m128 minusOne = _mm_set1_ps(-1.0f), one = _mm_set1_ps(1.0f);
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        const __m128 c = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(source + i), minusOne), one);
        _mm_storeu_pd(reinterpret_cast<double *>(p + 8 * i), _mm_cvtps_pd(c));
        _mm_storeu_pd(reinterpret_cast<double *>(p + 8 * i + 16), _mm_cvtps_pd(_mm_movehl_ps(c, c)));
    }
    outFloat64Scalar(source, p, i, frames);
}

#if KORVANE_AVX_CONVERTERS
// ---- AVX forms, picked at stream open (supportedConverterLevel) ----
// The products in double precision as in clipScale4, four lanes per instruction
// instead of two, so every result is the baseline's to the bit (checked for all
// 2^32 float inputs by bench/sample_convert_exhaustive.cpp).

#define KORVANE_AVX __attribute__((target("avx")))

// Clipping differs from clipScale4 in form only: x <= -1 and NaN become the float
// just below -1, -(1 + 2^-23), whose product with each integer scale gives the
// lower limit: -32767.504, -131071.52, -524287.56 and -8388608.49999 round to it,
// and -2147483903.5 lies below the 32-bit range, which converts to 0x80000000.
KORVANE_AVX inline __m128i clipScale4Avx(const float *source, __m256d scale) {
    const __m128 x = _mm_loadu_ps(source);
    const __m128 aboveLower = _mm_cmpgt_ps(x, _mm_set1_ps(-1.0f));  // false for NaN
    const __m128 c = _mm_min_ps(_mm_blendv_ps(_mm_set1_ps(-1.00000011920928955078125f), x, aboveLower),
                                _mm_set1_ps(1.0f));
    return _mm256_cvtpd_epi32(_mm256_mul_pd(_mm256_cvtps_pd(c), scale));
}

KORVANE_AVX void outInt16Avx(const float *source, void *destination, int frames) {
    NearestRounding rounding;
    unsigned char *p = static_cast<unsigned char *>(destination);
    const __m256d scale = _mm256_set1_pd(kScale16);
    int i = 0;
    for (; i + 8 <= frames; i += 8) {
        const __m128i low = clipScale4Avx(source + i, scale);
        const __m128i high = clipScale4Avx(source + i + 4, scale);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 2 * i), _mm_packs_epi32(low, high));
    }
    if (i + 4 <= frames) {
        const __m128i v = clipScale4Avx(source + i, scale);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(p + 2 * i), _mm_packs_epi32(v, v));
        i += 4;
    }
    for (; i < frames; ++i) store<int16_t>(p + 2 * i, int16_t(clipScale(source[i], kScale16)));
}

KORVANE_AVX void outInt24Avx(const float *source, void *destination, int frames) {
    NearestRounding rounding;
    unsigned char *p = static_cast<unsigned char *>(destination);
    const __m256d scale = _mm256_set1_pd(kScale24);
    // The low three bytes of each 32-bit lane, packed into the first 12 bytes.
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int i = 0;
    // 16-byte stores, each 4 bytes longer than its samples: the next store rewrites them.
    for (; i + 6 <= frames; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 3 * i),
                         _mm_shuffle_epi8(clipScale4Avx(source + i, scale), pack));
    if (i + 4 <= frames) {  // the last four whole: 8 + 4 bytes
        const __m128i v = _mm_shuffle_epi8(clipScale4Avx(source + i, scale), pack);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(p + 3 * i), v);
        store<int32_t>(p + 3 * i + 8, _mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
        i += 4;
    }
    outInt24Scalar(source, p, i, frames);
}

template <const double &Scale>
KORVANE_AVX void outInt32Avx(const float *source, void *destination, int frames) {
    NearestRounding rounding;
    unsigned char *p = static_cast<unsigned char *>(destination);
    const __m256d scale = _mm256_set1_pd(Scale);
    int i = 0;
    for (; i + 8 <= frames; i += 8) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 4 * i), clipScale4Avx(source + i, scale));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 4 * i + 16), clipScale4Avx(source + i + 4, scale));
    }
    if (i + 4 <= frames) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 4 * i), clipScale4Avx(source + i, scale));
        i += 4;
    }
    for (; i < frames; ++i) store<int32_t>(p + 4 * i, int32_t(clipScale(source[i], Scale)));
}

KORVANE_AVX void inInt24Avx(const void *source, float *destination, int frames) {
    const unsigned char *p = static_cast<const unsigned char *>(source);
    // Each sample into the top three bytes of a 32-bit lane: exact as a float, and
    // 2^-31 brings it to value / 8388608.
    const __m128 scale = _mm_set1_ps(1.0f / 2147483648.0f);
    const __m128i spread = _mm_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
    int i = 0;
    // 16-byte loads that stay inside the buffer: 12 bytes used.
    for (; i + 6 <= frames; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 3 * i));
        _mm_storeu_ps(destination + i, _mm_mul_ps(_mm_cvtepi32_ps(_mm_shuffle_epi8(v, spread)), scale));
    }
    if (i >= 4 && i + 4 <= frames) {  // the last four: a load that ends with the buffer
        const __m128i spreadLate = _mm_setr_epi8(-1, 4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15);
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 3 * i - 4));
        _mm_storeu_ps(destination + i, _mm_mul_ps(_mm_cvtepi32_ps(_mm_shuffle_epi8(v, spreadLate)), scale));
        i += 4;
    }
    for (; i < frames; ++i)
        destination[i] =
            float(int32_t(uint32_t(p[3 * i]) << 8 | uint32_t(p[3 * i + 1]) << 16 | uint32_t(p[3 * i + 2]) << 24) >> 8) *
            (1.0f / 8388608.0f);
}

#undef KORVANE_AVX
#endif  // KORVANE_AVX_CONVERTERS

// Big-endian types are not converted: a routed buffer of such a type carries silence.
template <int Bytes>
void outZero(const float *, void *destination, int frames) {
    std::memset(destination, 0, size_t(frames) * Bytes);
}

// The converters by type: the SSE2 forms, which are the baseline of both builds.
const InputConverter kInputConverters[kSampleTypeCount] = {
    nullptr,     nullptr,     nullptr,          nullptr,   nullptr,       nullptr, nullptr, nullptr,  // 0 ... 7
    nullptr,     nullptr,     nullptr,          nullptr,   nullptr,       nullptr, nullptr, nullptr,  // 8 ... 15
    inInt16Sse2, inInt24Sse2, inInt32Sse2<31>,  inFloat32, inFloat64Sse2,                             // 16 ... 20
    nullptr,     nullptr,     nullptr,          nullptr,                                              // 21 ... 24
    inInt32Sse2<17>, inInt32Sse2<19>, inInt32Sse2<23>,                                                // 25 ... 27
};
const OutputConverter kOutputConverters[kSampleTypeCount] = {
    outZero<2>, outZero<3>, outZero<4>, outZero<4>, outZero<8>,  // 0 ... 4
    nullptr, nullptr, nullptr,                                   // 5 ... 7
    outZero<4>, outZero<4>, outZero<4>, outZero<4>,              // 8 ... 11
    nullptr, nullptr, nullptr, nullptr,                          // 12 ... 15
    outInt16Sse2, outInt24Sse2, outInt32Sse2<kScale32>, outFloat32Sse2, outFloat64Sse2,  // 16 ... 20
    nullptr, nullptr, nullptr, nullptr,                                                  // 21 ... 24
    outInt32Sse2<kScale18>, outInt32Sse2<kScale20>, outInt32Sse2<kScale24>,              // 25 ... 27
};

inline bool known(long type) { return type >= 0 && type < kSampleTypeCount; }

// A level this processor lacks is treated as the baseline.
ConverterLevel usable(ConverterLevel level) {
    return level <= supportedConverterLevel() ? level : kConverterBaseline;
}

}  // namespace

int bytesPerSample(long type) { return known(type) ? kBytesPerSample[type] : 0; }

ConverterLevel supportedConverterLevel() {
#if KORVANE_AVX_CONVERTERS
    // Checks the processor's AVX flag and that the system saves the AVX registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") ? kConverterAvx : kConverterSse2;
#else
    return kConverterSse2;
#endif
}

InputConverter inputConverterFor(long type, ConverterLevel level) {
    if (!known(type)) return nullptr;
    level = usable(level);
#if KORVANE_AVX_CONVERTERS
    if (type == ASIOSTInt24LSB && level == kConverterAvx) return inInt24Avx;
#else
    (void)level;
#endif
    return kInputConverters[type];
}

OutputConverter outputConverterFor(long type, ConverterLevel level) {
    if (!known(type)) return nullptr;
    level = usable(level);
#if KORVANE_AVX_CONVERTERS
    if (level == kConverterAvx) {
        switch (type) {
        case ASIOSTInt16LSB: return outInt16Avx;
        case ASIOSTInt24LSB: return outInt24Avx;
        case ASIOSTInt32LSB: return outInt32Avx<kScale32>;
        case ASIOSTInt32LSB18: return outInt32Avx<kScale18>;
        case ASIOSTInt32LSB20: return outInt32Avx<kScale20>;
        case ASIOSTInt32LSB24: return outInt32Avx<kScale24>;
        default: break;
        }
    }
#else
    (void)level;
#endif
    return kOutputConverters[type];
}

InputConverter inputConverterFor(long type) { return inputConverterFor(type, supportedConverterLevel()); }

OutputConverter outputConverterFor(long type) { return outputConverterFor(type, supportedConverterLevel()); }

long roundToNearestEven(double value) { return roundEven(value); }
