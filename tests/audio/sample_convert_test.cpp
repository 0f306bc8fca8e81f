#include "audio/sample_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// Converts one float and reads the result back as a signed integer of the type's width.
int64_t convertOne(long type, float x) {
    unsigned char out[16];
    std::memset(out, 0xAA, sizeof out);
    OutputConverter convert = outputConverterFor(type);
    EXPECT_NE(convert, nullptr) << "type " << type;
    if (!convert) return 0;
    convert(&x, out, 1);
    switch (bytesPerSample(type)) {
    case 2: {
        int16_t v;
        std::memcpy(&v, out, 2);
        return v;
    }
    case 3:
        return int32_t(uint32_t(out[0]) << 8 | uint32_t(out[1]) << 16 | uint32_t(out[2]) << 24) >> 8;
    default: {
        int32_t v;
        std::memcpy(&v, out, 4);
        return v;
    }
    }
}

struct IntegerOutputCase {
    long type;
    int64_t upper, lower, half;  // results for 1.0, -1.0 and 0.5
};

TEST(SampleConvert, IntegerOutputsClipScaleAndRound) {
    const IntegerOutputCase cases[] = {
        {ASIOSTInt16LSB, 32767, -32768, 16384},
        {ASIOSTInt24LSB, 8388607, -8388608, 4194304},
        {ASIOSTInt32LSB, 2147483647, -2147483648LL, 1073741824},
        {ASIOSTInt32LSB18, 131071, -131072, 65536},
        {ASIOSTInt32LSB20, 524287, -524288, 262144},
        {ASIOSTInt32LSB24, 8388607, -8388608, 4194304},
    };
    for (const IntegerOutputCase &c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(convertOne(c.type, 1.0f), c.upper);
        EXPECT_EQ(convertOne(c.type, 7.5f), c.upper);
        EXPECT_EQ(convertOne(c.type, kInf), c.upper);
        EXPECT_EQ(convertOne(c.type, -1.0f), c.lower);
        EXPECT_EQ(convertOne(c.type, -3.0f), c.lower);
        EXPECT_EQ(convertOne(c.type, -kInf), c.lower);
        EXPECT_EQ(convertOne(c.type, kNaN), c.lower);
        EXPECT_EQ(convertOne(c.type, 0.5f), c.half);   // rounded, not truncated
        EXPECT_EQ(convertOne(c.type, -0.5f), -c.half);
        EXPECT_EQ(convertOne(c.type, 0.0f), 0);
        EXPECT_EQ(convertOne(c.type, -0.0f), 0);
        // Just inside full scale stays below the limit instead of wrapping around.
        int64_t nearTop = convertOne(c.type, std::nextafter(1.0f, 0.0f));
        EXPECT_GT(nearTop, c.upper - c.upper / 1000);
        EXPECT_LE(nearTop, c.upper);
    }
}

TEST(SampleConvert, PackedTwentyFourBitBytes) {
    struct Case {
        float x;
        unsigned char bytes[3];
    } cases[] = {
        {-0.5f, {0x00, 0x00, 0xC0}},
        {1.0f, {0xFF, 0xFF, 0x7F}},
        {-1.0f, {0x00, 0x00, 0x80}},
        {kNaN, {0x00, 0x00, 0x80}},
        {0.5f, {0x00, 0x00, 0x40}},
    };
    for (const Case &c : cases) {
        unsigned char out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
        outputConverterFor(ASIOSTInt24LSB)(&c.x, out, 1);
        EXPECT_EQ(out[0], c.bytes[0]) << c.x;
        EXPECT_EQ(out[1], c.bytes[1]) << c.x;
        EXPECT_EQ(out[2], c.bytes[2]) << c.x;
        EXPECT_EQ(out[3], 0xAA) << "wrote past three bytes for " << c.x;
    }
}

TEST(SampleConvert, FloatOutputsClipAndSendNaNToLowerLimit) {
    const struct {
        float x, expected;
    } cases[] = {{1.0f, 1.0f}, {1.5f, 1.0f},  {kInf, 1.0f},   {-1.0f, -1.0f}, {-2.0f, -1.0f},
                 {kNaN, -1.0f}, {0.25f, 0.25f}, {-0.75f, -0.75f}, {0.0f, 0.0f}};
    for (const auto &c : cases) {
        float f = 99.0f;
        outputConverterFor(ASIOSTFloat32LSB)(&c.x, &f, 1);
        EXPECT_EQ(f, c.expected) << c.x;
        double d = 99.0;
        outputConverterFor(ASIOSTFloat64LSB)(&c.x, &d, 1);
        EXPECT_EQ(d, double(c.expected)) << c.x;
    }
}

TEST(SampleConvert, RoundingTiesGoToEven) {
    const struct {
        double value;
        long expected;
    } cases[] = {{0.5, 0},   {1.5, 2},   {2.5, 2},   {3.5, 4},     {-0.5, 0},    {-1.5, -2},
                 {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {-2.5001, -3}, {16383.75, 16384}};
    for (const auto &c : cases) EXPECT_EQ(roundToNearestEven(c.value), c.expected) << c.value;
}

TEST(SampleConvert, InputsScaleToFullRange) {
    struct Case {
        long type;
        std::vector<unsigned char> bytes;
        float expected;
    };
    const Case cases[] = {
        {ASIOSTInt16LSB, {0x00, 0x80}, -1.0f},
        {ASIOSTInt16LSB, {0x00, 0x40}, 0.5f},
        {ASIOSTInt16LSB, {0xFF, 0x7F}, 32767.0f / 32768.0f},
        {ASIOSTInt24LSB, {0x00, 0x00, 0x80}, -1.0f},
        {ASIOSTInt24LSB, {0x00, 0x00, 0xC0}, -0.5f},
        {ASIOSTInt24LSB, {0xFF, 0xFF, 0x7F}, 8388607.0f / 8388608.0f},
        {ASIOSTInt24LSB, {0x01, 0x00, 0x00}, 1.0f / 8388608.0f},
        {ASIOSTInt32LSB, {0x00, 0x00, 0x00, 0x80}, -1.0f},
        {ASIOSTInt32LSB, {0x00, 0x00, 0x00, 0x40}, 0.5f},
        {ASIOSTInt32LSB18, {0x00, 0x00, 0xFE, 0xFF}, -1.0f},  // -131072
        {ASIOSTInt32LSB18, {0x00, 0x00, 0x01, 0x00}, 0.5f},   // 65536
        {ASIOSTInt32LSB20, {0x00, 0x00, 0xF8, 0xFF}, -1.0f},  // -524288
        {ASIOSTInt32LSB20, {0x00, 0x00, 0x04, 0x00}, 0.5f},   // 262144
        {ASIOSTInt32LSB24, {0x00, 0x00, 0x80, 0xFF}, -1.0f},  // 0xFF800000
        {ASIOSTInt32LSB24, {0x00, 0x00, 0x40, 0x00}, 0.5f},
        {ASIOSTFloat32LSB, {0x00, 0x00, 0x40, 0xBF}, -0.75f},
        {ASIOSTFloat64LSB, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x3F}, 0.5f},
    };
    for (const Case &c : cases) {
        InputConverter convert = inputConverterFor(c.type);
        ASSERT_NE(convert, nullptr) << c.type;
        float out[2] = {99.0f, 99.0f};
        convert(c.bytes.data(), out, 1);
        EXPECT_EQ(out[0], c.expected) << "type " << c.type;
        EXPECT_EQ(out[1], 99.0f) << "wrote past one frame, type " << c.type;
    }
    double d = 0.1;
    float f = 0.0f;
    inputConverterFor(ASIOSTFloat64LSB)(&d, &f, 1);
    EXPECT_EQ(f, 0.1f);
}

// Which types convert, which are silenced, which are left alone, and that each
// writes exactly frames x bytes-per-sample bytes.
TEST(SampleConvert, TypeTableCoverage) {
    const int sizes[28] = {2, 3, 4, 4, 8, 0, 0, 0, 4, 4, 4, 4, 0, 0, 0, 0,
                           2, 3, 4, 4, 8, 0, 0, 0, 4, 4, 4, 4};
    const float samples[3] = {0.25f, -0.25f, 0.5f};
    for (long type = -2; type < 40; ++type) {
        SCOPED_TRACE(type);
        const bool inRange = type >= 0 && type < 28;
        const int size = inRange ? sizes[type] : 0;
        EXPECT_EQ(bytesPerSample(type), size);

        const bool converts = (type >= 16 && type <= 20) || (type >= 25 && type <= 27);
        const bool bigEndian = (type >= 0 && type <= 4) || (type >= 8 && type <= 11);
        EXPECT_EQ(inputConverterFor(type) != nullptr, converts);
        OutputConverter out = outputConverterFor(type);
        EXPECT_EQ(out != nullptr, converts || bigEndian);
        if (!out) continue;

        unsigned char buffer[64];
        std::memset(buffer, 0xAA, sizeof buffer);
        out(samples, buffer, 3);
        for (int i = 3 * size; i < 64; ++i) ASSERT_EQ(buffer[i], 0xAA) << "byte " << i;
        bool allZero = true;
        for (int i = 0; i < 3 * size; ++i) allZero = allZero && buffer[i] == 0;
        EXPECT_EQ(allZero, bigEndian);
    }
}

}  // namespace

namespace {

// Blocks of several lengths, edge values at every position, converted at every
// level this processor runs: each sample must come out as the baseline converts
// it alone, and nothing beyond the block is written.
TEST(SampleConvert, BlocksConvertLikeSingleSamples) {
    const float edges[] = {1.0f, -1.0f, kNaN, 0.5f, -0.5f, 2.0f, -3.0f, 0.0f, 0.123f, -0.777f, kInf, 1e-7f};
    const long types[] = {ASIOSTInt16LSB,   ASIOSTInt24LSB,   ASIOSTInt32LSB,   ASIOSTFloat32LSB,
                          ASIOSTFloat64LSB, ASIOSTInt32LSB18, ASIOSTInt32LSB20, ASIOSTInt32LSB24};
    for (int level = kConverterBaseline; level <= supportedConverterLevel(); ++level) {
        for (long type : types) {
            const OutputConverter out = outputConverterFor(type, ConverterLevel(level));
            const OutputConverter outOne = outputConverterFor(type, kConverterBaseline);
            const InputConverter in = inputConverterFor(type, ConverterLevel(level));
            const InputConverter inOne = inputConverterFor(type, kConverterBaseline);
            const size_t size = size_t(bytesPerSample(type));
            for (int frames : {1, 2, 4, 5, 6, 7, 8, 9, 10, 12, 16, 37, 64}) {
                SCOPED_TRACE(::testing::Message() << "level " << level << ", type " << type << ", " << frames
                                                  << " frames");
                std::vector<float> source(frames);
                for (int i = 0; i < frames; ++i)
                    source[i] = edges[(i * 5 + frames) % 12] * (i % 3 ? 1.0f : 0.9f) + (i % 4 == 1 ? 1e-4f : 0.0f);
                std::vector<unsigned char> block(frames * size + 16, 0xAA), one(size + 16);
                out(source.data(), block.data(), frames);
                for (int i = 0; i < frames; ++i) {
                    outOne(&source[i], one.data(), 1);
                    ASSERT_EQ(std::memcmp(block.data() + i * size, one.data(), size), 0) << "sample " << i;
                }
                for (size_t b = frames * size; b < block.size(); ++b) ASSERT_EQ(block[b], 0xAA);

                // And back: the driver bytes just written, read as a block and one by one.
                std::vector<float> back(frames + 4, 99.0f);
                in(block.data(), back.data(), frames);
                for (int i = 0; i < frames; ++i) {
                    float single = 0.0f;
                    inOne(block.data() + i * size, &single, 1);
                    ASSERT_EQ(back[i], single) << "sample " << i;
                }
                for (int i = frames; i < frames + 4; ++i) ASSERT_EQ(back[i], 99.0f);
            }
        }
    }
}

// Every 16-bit value and a spread of 24-bit values, read and written back at every
// level, give the baseline's floats and bytes; every 16-bit value survives the way back.
TEST(SampleConvert, LevelsAgreeOnWholeRanges) {
    std::vector<int16_t> all16(65536), back16(65536);
    for (int i = 0; i < 65536; ++i) all16[i] = int16_t(i - 32768);
    std::vector<unsigned char> bytes24(3 * 65536);
    for (size_t b = 0; b < bytes24.size(); ++b) bytes24[b] = static_cast<unsigned char>(b * 2654435761u >> 13);
    std::vector<float> base(65536), floats(65536);
    for (int level = kConverterBaseline; level <= supportedConverterLevel(); ++level) {
        SCOPED_TRACE(level);
        inputConverterFor(ASIOSTInt16LSB, kConverterBaseline)(all16.data(), base.data(), 65536);
        inputConverterFor(ASIOSTInt16LSB, ConverterLevel(level))(all16.data(), floats.data(), 65536);
        ASSERT_EQ(floats, base);
        outputConverterFor(ASIOSTInt16LSB, ConverterLevel(level))(floats.data(), back16.data(), 65536);
        ASSERT_EQ(back16, all16);

        inputConverterFor(ASIOSTInt24LSB, kConverterBaseline)(bytes24.data(), base.data(), 65536);
        inputConverterFor(ASIOSTInt24LSB, ConverterLevel(level))(bytes24.data(), floats.data(), 65536);
        ASSERT_EQ(floats, base);
        std::vector<unsigned char> expected(bytes24.size(), 0), written(bytes24.size(), 0);
        outputConverterFor(ASIOSTInt24LSB, kConverterBaseline)(floats.data(), expected.data(), 65536);
        outputConverterFor(ASIOSTInt24LSB, ConverterLevel(level))(floats.data(), written.data(), 65536);
        ASSERT_EQ(written, expected);
    }
}

}  // namespace

#include <float.h>
#include <xmmintrin.h>

namespace {

// The rounding mode belongs to the thread (the SSE unit's MXCSR, and the x87 unit's
// control word in the 32-bit build), and a plugin may leave either set to another
// mode, or the x87 precision lowered. Under any of them the integer outputs of every
// level round to nearest, ties to even, and hand the caller's settings back.
TEST(SampleConvert, IntegerOutputsIgnoreTheThreadsRoundingMode) {
    const struct {
        long type;
        float x;
        int32_t expected;
    } cases[] = {
        // Products with fractions that truncation or directed rounding would get wrong.
        {ASIOSTInt16LSB, 0.5f, 16384},         // 16383.749995
        {ASIOSTInt16LSB, -0.5f, -16384},       // -16383.749995
        {ASIOSTInt24LSB, 0.3f, 2516582},       // 2516582.35
        {ASIOSTInt32LSB, 0.7f, 1503238528},    // 1503238527.65
        {ASIOSTInt32LSB, -0.7f, -1503238528},  // -1503238527.65
        {ASIOSTInt32LSB18, 0.99f, 129761},     // 129760.79
        {ASIOSTInt32LSB20, -0.123f, -64487},   // -64487.36
        {ASIOSTInt32LSB24, 0.000001f, 8},      // 8.39
        // The double product is 2147440767.5 exactly, a tie that goes to even; the
        // exact product lies just below it, where a 64-bit x87 product stays.
        {ASIOSTInt32LSB, 0x1.fffd62p-1f, 2147440768},
    };
    const struct {
        unsigned sseRounding;  // MXCSR bits 13-14
        unsigned x87Bits, x87Mask;
    } controls[] = {
        {0x0000, 0, 0},          {0x2000, _RC_DOWN, _MCW_RC}, {0x4000, _RC_UP, _MCW_RC},
        {0x6000, _RC_CHOP, _MCW_RC},
#if defined(__i386__)
        {0x0000, _PC_64, _MCW_PC}, {0x0000, _PC_53, _MCW_PC}, {0x0000, _PC_24, _MCW_PC},
#endif
    };
    const unsigned savedCsr = _mm_getcsr();
    const unsigned saved = _controlfp(0, 0);
    for (const auto &control : controls) {
        if (control.x87Mask) _controlfp(control.x87Bits, control.x87Mask);
        _mm_setcsr((_mm_getcsr() & ~0x6000u) | control.sseRounding);
        const unsigned before = _controlfp(0, 0), csrBefore = _mm_getcsr();
        for (int level = kConverterBaseline; level <= supportedConverterLevel(); ++level) {
            for (const auto &c : cases) {
                // Four samples, so that the vector loops run too.
                const float x[5] = {c.x, c.x, c.x, c.x, c.x};
                unsigned char out[20] = {};
                outputConverterFor(c.type, ConverterLevel(level))(x, out, 5);
                const int size = bytesPerSample(c.type);
                for (int k = 0; k < 5; ++k) {
                    const unsigned char *p = out + k * size;
                    const int32_t got = size == 2   ? int32_t(int16_t(p[0] | p[1] << 8))
                                        : size == 3 ? int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 |
                                                              uint32_t(p[2]) << 24) >> 8
                                                    : int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 |
                                                              uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
                    EXPECT_EQ(got, c.expected) << "type " << c.type << ", x " << c.x << ", sample " << k << ", level "
                                               << level << ", MXCSR " << std::hex << csrBefore << ", control " << before;
                }
            }
        }
        EXPECT_EQ(_mm_getcsr(), csrBefore) << "the converter changed the caller's MXCSR";
        EXPECT_EQ(_controlfp(0, 0), before) << "the converter changed the caller's control word";
#if defined(__i386__)
        _controlfp(saved, _MCW_PC | _MCW_RC);
#else
        _controlfp(saved, _MCW_RC);
#endif
        _mm_setcsr(savedCsr);
    }
}

}  // namespace
