#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/wav_writer.h"

namespace {

uint32_t u32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
uint16_t u16(const uint8_t *p) { return (uint16_t)(p[0] | p[1] << 8); }
uint64_t u64(const uint8_t *p) { return u32(p) | (uint64_t)u32(p + 4) << 32; }

TEST(WavWriter, HeadersForEachDepth) {
    struct Case {
        WavDepth depth;
        int channels, rate;
        uint32_t frames;
        uint16_t tag, align, bits;
        uint32_t byteRate, data;
    } cases[] = {
        {kWavDepth16, 2, 44100, 44100, 1, 4, 16, 176400, 176400},
        {kWavDepth24, 2, 44100, 10, 1, 6, 24, 264600, 60},
        {kWavDepthFloat, 2, 44100, 44100, 3, 8, 32, 352800, 352800},
        {kWavDepth16, 1, 22050, 3, 1, 2, 16, 44100, 6},
    };
    for (const Case &c : cases) {
        uint8_t h[kMaxWavHeaderSize];
        ASSERT_EQ(buildWavHeader(h, wavFormatFor(c.depth, c.channels, c.rate), c.frames), kWavHeaderSize);
        EXPECT_EQ(memcmp(h, "RIFF", 4), 0);
        EXPECT_EQ(u32(h + 4), c.data + 36);
        EXPECT_EQ(memcmp(h + 8, "WAVEfmt ", 8), 0);
        EXPECT_EQ(u32(h + 16), 16u);
        EXPECT_EQ(u16(h + 20), c.tag);
        EXPECT_EQ(u16(h + 22), c.channels);
        EXPECT_EQ(u32(h + 24), (uint32_t)c.rate);
        EXPECT_EQ(u32(h + 28), c.byteRate);
        EXPECT_EQ(u16(h + 32), c.align);
        EXPECT_EQ(u16(h + 34), c.bits);
        EXPECT_EQ(memcmp(h + 36, "data", 4), 0);
        EXPECT_EQ(u32(h + 40), c.data);
    }
}

TEST(WavWriter, DataBeyond32BitSizesGivesRf64) {
    WavFormat f = wavFormatFor(kWavDepthFloat, 2, 48000);
    // The largest frame count a plain header can hold, and one more.
    uint64_t limit = (0xFFFFFFFFull - 36) / 8;
    EXPECT_TRUE(wavFitsRiff(f, limit));
    EXPECT_FALSE(wavFitsRiff(f, limit + 1));
    uint8_t h[kMaxWavHeaderSize];
    uint64_t frames = 600000000ull;  // 4.8 GB of data
    ASSERT_EQ(buildWavHeader(h, f, frames), kRf64HeaderSize);
    EXPECT_EQ(memcmp(h, "RF64", 4), 0);
    EXPECT_EQ(u32(h + 4), 0xFFFFFFFFu);
    EXPECT_EQ(memcmp(h + 8, "WAVEds64", 8), 0);
    EXPECT_EQ(u32(h + 16), 28u);
    EXPECT_EQ(u64(h + 20), frames * 8 + 72);
    EXPECT_EQ(u64(h + 28), frames * 8);
    EXPECT_EQ(u64(h + 36), frames);
    EXPECT_EQ(memcmp(h + 48, "fmt ", 4), 0);
    EXPECT_EQ(u16(h + 56), 3);
    EXPECT_EQ(memcmp(h + 72, "data", 4), 0);
    EXPECT_EQ(u32(h + 76), 0xFFFFFFFFu);
}

// The sampler chunks sit between the format and the data, in plain and in RF64 files:
// smpl (36 bytes and 24 per loop) and inst (its 7 bytes and one more: an even size).
TEST(WavWriter, SamplerChunksBeforeTheDataInPlainAndRf64Files) {
    struct Case {
        const char *name;
        uint64_t frames;
        bool looped;
        size_t header, smplAt, smplSize;
    } cases[] = {
        {"plain, looped", 1000, true, 44 + 84, 36, 60},
        {"plain, no loop", 1000, false, 44 + 60, 36, 36},
        {"RF64, looped", 600000000ull, true, 80 + 84, 72, 60},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const WavSamplerData sampler = {61, 0.0, 58, 63, 65, 127, c.looped, 2000, 9000};
        const WavFormat format = wavFormatFor(kWavDepthFloat, 2, 48000);
        uint8_t h[kMaxWavHeaderSize];
        ASSERT_EQ(c.header, buildWavHeader(h, format, c.frames, &sampler));
        const uint8_t *smpl = h + c.smplAt;
        EXPECT_EQ(0, memcmp(smpl, "smpl", 4));
        EXPECT_EQ(c.smplSize, u32(smpl + 4));
        EXPECT_EQ(20833u, u32(smpl + 16)) << "the sample period in ns";
        EXPECT_EQ(61u, u32(smpl + 20));
        EXPECT_EQ(0u, u32(smpl + 24));
        EXPECT_EQ(c.looped ? 1u : 0u, u32(smpl + 36));
        if (c.looped) {
            EXPECT_EQ(0u, u32(smpl + 48)) << "forward";
            EXPECT_EQ(2000u, u32(smpl + 52));
            EXPECT_EQ(8999u, u32(smpl + 56)) << "the last frame played";
            EXPECT_EQ(0u, u32(smpl + 64)) << "played until the note ends";
        }
        const uint8_t *inst = smpl + 8 + c.smplSize;
        EXPECT_EQ(0, memcmp(inst, "inst", 4));
        EXPECT_EQ(8u, u32(inst + 4)) << "an even size, which every reader skips";
        const uint8_t instBody[8] = {61, 0, 0, 58, 63, 65, 127, 0};
        EXPECT_EQ(0, memcmp(inst + 8, instBody, 8));
        const uint8_t *data = inst + 16;
        EXPECT_EQ(0, memcmp(data, "data", 4));
        if (c.frames < 1000000) {
            EXPECT_EQ(u32(h + 4), c.header - 8 + c.frames * 8) << "the RIFF size counts the chunks";
            EXPECT_EQ(c.frames * 8, u32(data + 4));
        } else {
            EXPECT_EQ(c.header - 8 + c.frames * 8, u64(h + 20)) << "the ds64 RIFF size counts the chunks";
            EXPECT_EQ(0xFFFFFFFFu, u32(data + 4));
        }
    }
}

// A sample that sounds off its root key: the smpl chunk's unity note and fraction of a
// semitone above it, the inst chunk's nearest note and the cents back onto it.
TEST(WavWriter, TuningOfTheSamplerChunks) {
    struct Case {
        uint8_t root;
        double cents;
        WavTuning tuning;
    } cases[] = {
        {60, 0.0, {60, 0, 60, 0}},
        {60, 37.0, {60, 1589137900u, 60, -37}},
        {60, -37.0, {59, 2705829396u, 60, 37}},
        {60, 50.0, {60, 2147483648u, 61, 50}},
        {60, 120.0, {61, 858993459u, 61, -20}},
        {0, -20.0, {0, 3435973837u, 0, 20}},  // below key 0 the notes stop at 0
    };
    for (const Case &c : cases) {
        WavTuning t = wavTuning(c.root, c.cents);
        EXPECT_EQ(c.tuning.unityNote, t.unityNote) << c.cents;
        EXPECT_EQ(c.tuning.pitchFraction, t.pitchFraction) << c.cents;
        EXPECT_EQ(c.tuning.unshiftedNote, t.unshiftedNote) << c.cents;
        EXPECT_EQ(c.tuning.fineTune, t.fineTune) << c.cents;
    }
}

TEST(WavWriter, SampleEncodingsTruncateWithPowerOfTwoScales) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float x;
        int16_t s16;
        int32_t s24;
    } cases[] = {
        {1.0f, 32767, 8388607},   {-1.0f, -32768, -8388608}, {1.5f, 32767, 8388607},
        {-1.5f, -32768, -8388608}, {0.5f, 16384, 4194304},    {-0.99999f, -32767, -8388524},
        {nan, 0, 0},               {0.0f, 0, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(encodePcm16(c.x), c.s16) << c.x;
        EXPECT_EQ(encodePcm24(c.x), c.s24) << c.x;
    }
}

TEST(WavWriter, FramesInterleaveLeftFirst) {
    float left[2] = {0.5f, -1.0f}, right[2] = {1.0f, 0.25f};
    const float *channels[2] = {left, right};
    uint8_t out[16];
    encodeFrames(channels, 2, 2, kWavDepth24, out);
    const uint8_t expect24[12] = {0, 0, 0x40, 0xFF, 0xFF, 0x7F, 0, 0, 0x80, 0, 0, 0x20};
    EXPECT_EQ(memcmp(out, expect24, 12), 0);
    encodeFrames(channels, 2, 2, kWavDepthFloat, out);
    EXPECT_EQ(memcmp(out + 4, &right[0], 4), 0);
    EXPECT_EQ(memcmp(out + 8, &left[1], 4), 0);
}

}  // namespace

TEST(WavWriter, VectorEncodingsMatchTheScalarOnesBitForBit) {
    // Edge values as bit patterns: zeros, denormals, the clip points and their
    // neighbours, the steps of both scales, infinities and NaNs of every kind.
    std::vector<uint32_t> bits = {0x00000000, 0x80000000, 0x00000001, 0x807FFFFF, 0x3F800000, 0x3F7FFFFF,
                                  0x3F800001, 0xBF800000, 0xBF7FFFFF, 0xBF800001, 0x40000000, 0xC0000000,
                                  0x7F7FFFFF, 0xFF7FFFFF, 0x4F000000, 0xCF000000, 0x7F800000, 0xFF800000,
                                  0x7FC00000, 0xFFC00000, 0x7F800001, 0xFFFFFFFF, 0x7FBFFFFF};
    for (int k = -32769; k <= 32769; k += 97) {
        float step = k / 32768.0f;
        uint32_t b;
        memcpy(&b, &step, 4);
        for (uint32_t d : {b - 1, b, b + 1}) bits.push_back(d);
    }
    for (int k = -8388609; k <= 8388609; k += 65537) {
        float step = k / 8388608.0f;
        uint32_t b;
        memcpy(&b, &step, 4);
        for (uint32_t d : {b - 1, b, b + 1}) bits.push_back(d);
    }
    uint32_t seed = 12345;
    for (int i = 0; i < 200000; ++i) bits.push_back(seed = seed * 1664525u + 1013904223u);
    std::vector<float> in(bits.size());
    memcpy(in.data(), bits.data(), bits.size() * 4);

    std::vector<int16_t> scalar16(in.size()), vector16(in.size());
    std::vector<int32_t> scalar24(in.size()), vector24(in.size());
    encodePcm16Block(in.data(), scalar16.data(), (int)in.size(), false);
    encodePcm16Block(in.data(), vector16.data(), (int)in.size(), true);
    encodePcm24Block(in.data(), scalar24.data(), (int)in.size(), false);
    encodePcm24Block(in.data(), vector24.data(), (int)in.size(), true);
    int wrong16 = 0, wrong24 = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        wrong16 += scalar16[i] != vector16[i];
        wrong24 += scalar24[i] != vector24[i];
        if (scalar16[i] != vector16[i] || scalar24[i] != vector24[i]) {
            ADD_FAILURE() << std::hex << bits[i] << ": " << scalar16[i] << "/" << vector16[i] << " " << scalar24[i]
                          << "/" << vector24[i];
            if (wrong16 + wrong24 > 10) break;
        }
    }
    EXPECT_EQ(0, wrong16);
    EXPECT_EQ(0, wrong24);

    // Whole frames, with runs that are no multiple of the vector width, one to three channels.
    for (int channels = 1; channels <= 3; ++channels) {
        for (WavDepth depth : {kWavDepth16, kWavDepth24, kWavDepthFloat}) {
            const int frames = 1000;
            const float *c[3] = {in.data(), in.data() + 1001, in.data() + 2003};
            std::vector<uint8_t> a((size_t)frames * channels * 4), b(a.size());
            encodeFrames(c, channels, frames, depth, a.data(), false);
            encodeFrames(c, channels, frames, depth, b.data(), true);
            EXPECT_EQ(a, b) << channels << " channels, depth " << depth;
        }
    }
}

// The mono mix in both forms over pairs of edge values (NaNs, infinities, sums beyond
// the float range, denormals, the clip points), then through the encoders at run
// lengths that are no multiple of the vector width.
TEST(WavWriter, VectorMonoMixMatchesTheScalarOneAndRunsOfAnyLength) {
    const uint32_t edges[] = {0x00000000, 0x80000000, 0x00000001, 0x807FFFFF, 0x00800000, 0x3F800000,
                              0xBF800000, 0x3F800001, 0xBF7FFFFF, 0x7F7FFFFF, 0xFF7FFFFF, 0x7F800000,
                              0xFF800000, 0x7FC00000, 0xFFC00000, 0x7F800001, 0x3EFFFFFF, 0x33800000};
    std::vector<float> left, right;
    for (uint32_t a : edges)
        for (uint32_t b : edges) {
            float x, y;
            memcpy(&x, &a, 4);
            memcpy(&y, &b, 4);
            left.push_back(x);
            right.push_back(y);
        }
    uint32_t seed = 777;
    for (int i = 0; i < 100000; ++i) {
        uint32_t a = seed = seed * 1664525u + 1013904223u, b = seed = seed * 1664525u + 1013904223u;
        float x, y;
        memcpy(&x, &a, 4);
        memcpy(&y, &b, 4);
        left.push_back(x);
        right.push_back(y);
    }
    const int n = (int)left.size();
    std::vector<float> scalar(n), vector(n);
    mixToMono(left.data(), right.data(), scalar.data(), n, false);
    mixToMono(left.data(), right.data(), vector.data(), n, true);
    EXPECT_EQ(0, memcmp(scalar.data(), vector.data(), (size_t)n * 4));
    // The sum is a float before it is halved: beyond the range it is infinite.
    const float big = 3.0e38f;
    float sum;
    mixToMono(&big, &big, &sum, 1, true);
    EXPECT_TRUE(std::isinf(sum));

    for (int frames : {1, 7, 9, 255, 257, 1003}) {
        for (int channels : {1, 2}) {
            const float *c[2] = {scalar.data(), left.data() + 3};
            std::vector<uint8_t> a((size_t)frames * channels * 2), b(a.size());
            encodeFrames(c, channels, frames, kWavDepth16, a.data(), false);
            encodeFrames(c, channels, frames, kWavDepth16, b.data(), true);
            EXPECT_EQ(a, b) << frames << " frames, " << channels << " channels";
        }
    }
}

#if defined(__i386__)
#include <windows.h>

#include "audio/sample_convert.h"

// Calls entry(argument) with the stack pointer at `top` at the call, as a caller from
// outside may leave it: a 32-bit Windows thread start, an ASIO driver or a plugin
// promises 4-byte alignment only, where code built for 16 assumes it.
extern "C" void callWithStackAt(void (*entry)(void *), void *argument, void *top);
__asm__(".text\n"
        ".globl _callWithStackAt\n"
        "_callWithStackAt:\n"
        "    pushl %ebp\n"
        "    movl %esp, %ebp\n"
        "    movl 8(%ebp), %eax\n"
        "    movl 12(%ebp), %ecx\n"
        "    movl 16(%ebp), %esp\n"
        "    pushl %ecx\n"
        "    call *%eax\n"
        "    movl %ebp, %esp\n"
        "    popl %ebp\n"
        "    ret\n");

namespace {

const long kConvertedTypes[] = {ASIOSTInt16LSB,   ASIOSTInt24LSB,   ASIOSTInt32LSB,  ASIOSTFloat32LSB,
                                ASIOSTFloat64LSB, ASIOSTInt32LSB18, ASIOSTInt32LSB20, ASIOSTInt32LSB24};
const int kFrames = 203;  // vector bodies and scalar tails

// Everything the encoders and converters write, from the same input.
struct CodecOutputs {
    std::vector<uint8_t> frames[2][3];  // channels - 1, depth
    std::vector<float> mono;
    std::vector<uint8_t> driverOut[8];
    std::vector<float> driverIn[8];
};

std::vector<float> codecInput() {
    std::vector<float> in(2 * kFrames);
    uint32_t seed = 99;
    for (float &x : in) x = (float)(int32_t)(seed = seed * 1664525u + 1013904223u) / 1.5e9f;  // some beyond +-1
    return in;
}

void runCodecs(void *outputs) {
    CodecOutputs &out = *static_cast<CodecOutputs *>(outputs);
    static const std::vector<float> in = codecInput();
    const float *channels[2] = {in.data(), in.data() + kFrames};
    for (int c = 1; c <= 2; ++c)
        for (WavDepth depth : {kWavDepth16, kWavDepth24, kWavDepthFloat}) {
            std::vector<uint8_t> &bytes = out.frames[c - 1][depth];
            bytes.assign((size_t)kFrames * c * 4, 0);
            encodeFrames(channels, c, kFrames, depth, bytes.data());
        }
    out.mono.assign(kFrames, 0.0f);
    mixToMono(channels[0], channels[1], out.mono.data(), kFrames);
    for (int t = 0; t < 8; ++t) {
        const long type = kConvertedTypes[t];
        out.driverOut[t].assign((size_t)kFrames * bytesPerSample(type), 0);
        outputConverterFor(type)(in.data(), out.driverOut[t].data(), kFrames);
        out.driverIn[t].assign(kFrames, 0.0f);
        inputConverterFor(type)(out.driverOut[t].data(), out.driverIn[t].data(), kFrames);
    }
}

struct MisalignedRun {
    int offset;  // bytes below 16-byte alignment at the call
    CodecOutputs outputs;
};

DWORD WINAPI runOnMisalignedStack(void *parameter) {
    MisalignedRun &run = *static_cast<MisalignedRun *>(parameter);
    unsigned char area[64 * 1024];  // on this thread's own stack, so the system knows it as the stack
    uintptr_t top = ((uintptr_t)(area + sizeof area) & ~(uintptr_t)15) - (uintptr_t)run.offset;
    callWithStackAt(runCodecs, &run.outputs, (void *)(top + 4));  // the argument's push brings it to top
    return 0;
}

}  // namespace

// The SSE code of the encoders and converters on a thread entered with its stack 4,
// 8 or 12 bytes off 16-byte alignment, as the export's thread, a driver's callback
// thread or a plugin's call may be: the same bytes as on an aligned stack, no fault.
TEST(EntriesFromOutside, EncodersAndConvertersRunOnAStackAlignedToFourBytesOnly) {
    CodecOutputs aligned;
    runCodecs(&aligned);
    for (int offset : {0, 4, 8, 12}) {
        MisalignedRun run = {offset, {}};
        HANDLE thread = CreateThread(nullptr, 1 << 20, runOnMisalignedStack, &run, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        WaitForSingleObject(thread, INFINITE);
        DWORD code = 0;
        GetExitCodeThread(thread, &code);
        CloseHandle(thread);
        ASSERT_EQ(0u, code) << "offset " << offset;
        for (int c = 0; c < 2; ++c)
            for (int d = 0; d < 3; ++d) EXPECT_EQ(aligned.frames[c][d], run.outputs.frames[c][d]) << offset;
        EXPECT_EQ(aligned.mono, run.outputs.mono) << offset;
        for (int t = 0; t < 8; ++t) {
            EXPECT_EQ(aligned.driverOut[t], run.outputs.driverOut[t]) << "type " << kConvertedTypes[t];
            EXPECT_EQ(aligned.driverIn[t], run.outputs.driverIn[t]) << "type " << kConvertedTypes[t];
        }
    }
}
#endif
