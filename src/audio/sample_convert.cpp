#include "audio/sample_convert.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>
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

inline long roundEven(double v) {
#if defined(__x86_64__)
    return _mm_cvtsd_si32(_mm_set_sd(v));
#elif defined(__i386__)
    long r;
    __asm__("fistpl %0" : "=m"(r) : "t"(v) : "st");
    return r;
#else
    return std::lrint(v);
#endif
}

// Clip, then scale and round: x >= 1 gives the upper limit; x <= -1 and NaN give
// the lower limit (the comparison below is false for NaN).
template <long Upper, long Lower>
inline long clipScale(float x, double scale) {
    if (x >= 1.0f) return Upper;
    if (!(x > -1.0f)) return Lower;
    return roundEven(x * scale);
}

// ---- driver -> float ----

void inInt16(const void *source, float *destination, int frames) {
    const unsigned char *p = static_cast<const unsigned char *>(source);
    for (int i = 0; i < frames; ++i) destination[i] = load<int16_t>(p + 2 * i) * (1.0f / 32768.0f);
}

void inInt24(const void *source, float *destination, int frames) {
    const unsigned char *p = static_cast<const unsigned char *>(source);
    for (int i = 0; i < frames; ++i, p += 3) {
        // Assemble in the top three bytes, then shift back to sign-extend.
        uint32_t u = (uint32_t(p[0]) << 8) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 24);
        destination[i] = float(int32_t(u) >> 8) * (1.0f / 8388608.0f);
    }
}

template <int Shift>
void inInt32(const void *source, float *destination, int frames) {
    const unsigned char *p = static_cast<const unsigned char *>(source);
    const float scale = 1.0f / float(1u << Shift);  // a power of two: exact
    for (int i = 0; i < frames; ++i) destination[i] = float(load<int32_t>(p + 4 * i)) * scale;
}

void inFloat32(const void *source, float *destination, int frames) {
    std::memcpy(destination, source, size_t(frames) * sizeof(float));
}

void inFloat64(const void *source, float *destination, int frames) {
    const unsigned char *p = static_cast<const unsigned char *>(source);
    for (int i = 0; i < frames; ++i) destination[i] = float(load<double>(p + 8 * i));
}

// ---- float -> driver ----

void outInt16(const float *source, void *destination, int frames) {
    unsigned char *p = static_cast<unsigned char *>(destination);
    for (int i = 0; i < frames; ++i)
        store<int16_t>(p + 2 * i, int16_t(clipScale<32767, -32768>(source[i], 32767.49999)));
}

void outInt24(const float *source, void *destination, int frames) {
    unsigned char *p = static_cast<unsigned char *>(destination);
    for (int i = 0; i < frames; ++i, p += 3) {
        uint32_t v = uint32_t(clipScale<8388607, -8388608>(source[i], 8388607.49999));
        p[0] = static_cast<unsigned char>(v);
        p[1] = static_cast<unsigned char>(v >> 8);
        p[2] = static_cast<unsigned char>(v >> 16);
    }
}

void outInt32(const float *source, void *destination, int frames) {
    unsigned char *p = static_cast<unsigned char *>(destination);
    for (int i = 0; i < frames; ++i)
        store<int32_t>(p + 4 * i,
                       int32_t(clipScale<2147483647L, -2147483647L - 1>(source[i], 2147483647.49999)));
}

// 32-bit containers holding 18, 20 or 24 significant bits, right-aligned.
template <int Bits>
void outInt32Container(const float *source, void *destination, int frames) {
    constexpr long upper = (1L << (Bits - 1)) - 1;
    const double scale = double(upper) + 0.49999;
    unsigned char *p = static_cast<unsigned char *>(destination);
    for (int i = 0; i < frames; ++i)
        store<int32_t>(p + 4 * i, int32_t(clipScale<upper, -upper - 1>(source[i], scale)));
}

void outFloat32(const float *source, void *destination, int frames) {
    unsigned char *p = static_cast<unsigned char *>(destination);
    for (int i = 0; i < frames; ++i) {
        float x = source[i];
        store<float>(p + 4 * i, x >= 1.0f ? 1.0f : (x > -1.0f ? x : -1.0f));
    }
}

void outFloat64(const float *source, void *destination, int frames) {
    unsigned char *p = static_cast<unsigned char *>(destination);
    for (int i = 0; i < frames; ++i) {
        float x = source[i];
        store<double>(p + 8 * i, x >= 1.0f ? 1.0 : (x > -1.0f ? double(x) : -1.0));
    }
}

// Big-endian types are not converted: a routed buffer of such a type carries silence.
template <int Bytes>
void outZero(const float *, void *destination, int frames) {
    std::memset(destination, 0, size_t(frames) * Bytes);
}

const InputConverter kInputConverters[kSampleTypeCount] = {
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,  // 0 ... 7
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,  // 8 ... 15
    inInt16, inInt24, inInt32<31>, inFloat32, inFloat64,                      // 16 ... 20
    nullptr, nullptr, nullptr, nullptr,                                       // 21 ... 24
    inInt32<17>, inInt32<19>, inInt32<23>,                                    // 25 ... 27
};

const OutputConverter kOutputConverters[kSampleTypeCount] = {
    outZero<2>, outZero<3>, outZero<4>, outZero<4>, outZero<8>,               // 0 ... 4
    nullptr, nullptr, nullptr,                                                // 5 ... 7
    outZero<4>, outZero<4>, outZero<4>, outZero<4>,                           // 8 ... 11
    nullptr, nullptr, nullptr, nullptr,                                       // 12 ... 15
    outInt16, outInt24, outInt32, outFloat32, outFloat64,                     // 16 ... 20
    nullptr, nullptr, nullptr, nullptr,                                       // 21 ... 24
    outInt32Container<18>, outInt32Container<20>, outInt32Container<24>,      // 25 ... 27
};

inline bool known(long type) { return type >= 0 && type < kSampleTypeCount; }

}  // namespace

int bytesPerSample(long type) { return known(type) ? kBytesPerSample[type] : 0; }

InputConverter inputConverterFor(long type) { return known(type) ? kInputConverters[type] : nullptr; }

OutputConverter outputConverterFor(long type) { return known(type) ? kOutputConverters[type] : nullptr; }

long roundToNearestEven(double value) { return roundEven(value); }
