// The test driver as other tests rely on it: created through the driver list and
// connection, streaming a fixed number of blocks, recording what the host wrote,
// feeding its inputs, and failing where its configuration says.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "audio/driver_connection.h"
#include "audio/test_driver_registry.h"

using testdriver::Config;
using testdriver::ScopedDrivers;

namespace {

const char *kClsid = "{6B6F7276-0000-4000-8000-445256000001}";
const char *kName = "KTA stream";
const char *kDescription = "Stream driver";
const long kSize = 64;

// A ramp with steps of 1/1024: exact in every format of 16 bits or more.
double ramp(long block, long frame, long channel) {
    double v = double((block * kSize + frame) % 512 - 256) / 512.0;
    return channel == 0 ? v : -0.5 * v;
}

// Writes v (exactly representable) in the given type; false for types this test does not write.
bool putSample(long type, double v, uint8_t *p) {
    int bytes = 0, bits = 0;
    bool msb = type < 16, isFloat = false;
    switch (type) {
    case ASIOSTInt16LSB: case ASIOSTInt16MSB: bytes = 2; bits = 16; break;
    case ASIOSTInt24LSB: case ASIOSTInt24MSB: bytes = 3; bits = 24; break;
    case ASIOSTInt32LSB: case ASIOSTInt32MSB: bytes = 4; bits = 32; break;
    case ASIOSTInt32LSB16: bytes = 4; bits = 16; break;
    case ASIOSTInt32LSB18: bytes = 4; bits = 18; break;
    case ASIOSTInt32LSB24: case ASIOSTInt32MSB24: bytes = 4; bits = 24; break;
    case ASIOSTFloat32LSB: case ASIOSTFloat32MSB: bytes = 4; isFloat = true; break;
    case ASIOSTFloat64LSB: case ASIOSTFloat64MSB: bytes = 8; isFloat = true; break;
    default: return false;
    }
    uint64_t raw;
    if (isFloat && bytes == 4) {
        float f = float(v);
        uint32_t b;
        std::memcpy(&b, &f, 4);
        raw = b;
    } else if (isFloat) {
        std::memcpy(&raw, &v, 8);
    } else {
        raw = uint64_t(int64_t(std::ldexp(v, bits - 1)));
    }
    for (int i = 0; i < bytes; ++i) p[msb ? bytes - 1 - i : i] = uint8_t(raw >> (8 * i));
    return true;
}

// What the callbacks see; plain globals, as the callbacks take no context.
struct Stream {
    ASIOBufferInfo infos[4];
    long inputType, outputType;
    bool writeOutputs;
    float (*expectedInput)(long frame, long channel);
    float maxInputError;
    LONG wanted;
    volatile LONG calls;
    int halves[4096];
    HANDLE done, reset, rateChanged;
    volatile double newRate;
    volatile LONG timeInfoCalls;
} gStream;

float decodeTestInput(long type, const uint8_t *p) {
    switch (type) {
    case ASIOSTFloat32LSB: {
        float f;
        std::memcpy(&f, p, 4);
        return f;
    }
    case ASIOSTInt16LSB: return float(int16_t(p[0] | (p[1] << 8))) / 32768.0f;
    default: return 0.0f;
    }
}

void onBufferSwitch(long half, ASIOBool) {
    LONG block = gStream.calls;
    if (block < LONG(sizeof(gStream.halves) / sizeof(gStream.halves[0]))) gStream.halves[block] = int(half);
    if (gStream.expectedInput) {
        for (long c = 0; c < 2; ++c) {
            const uint8_t *in = static_cast<const uint8_t *>(gStream.infos[c].buffers[half]);
            int bytes = gStream.inputType == ASIOSTFloat32LSB ? 4 : 2;
            for (long f = 0; in && f < kSize; ++f) {
                float e = std::fabs(decodeTestInput(gStream.inputType, in + f * bytes) -
                                    gStream.expectedInput(block * kSize + f, c));
                if (e > gStream.maxInputError) gStream.maxInputError = e;
            }
        }
    }
    if (gStream.writeOutputs) {
        for (long c = 0; c < 2; ++c) {
            uint8_t *out = static_cast<uint8_t *>(gStream.infos[2 + c].buffers[half]);
            int step = gStream.outputType == ASIOSTFloat64LSB || gStream.outputType == ASIOSTFloat64MSB ? 8
                       : gStream.outputType == ASIOSTInt16LSB || gStream.outputType == ASIOSTInt16MSB   ? 2
                       : gStream.outputType == ASIOSTInt24LSB || gStream.outputType == ASIOSTInt24MSB   ? 3
                                                                                                        : 4;
            for (long f = 0; out && f < kSize; ++f) putSample(gStream.outputType, ramp(block, f, c), out + f * step);
        }
    }
    asioOutputReady();
    if (InterlockedIncrement(&gStream.calls) == gStream.wanted) SetEvent(gStream.done);
}

ASIOTime *onBufferSwitchTimeInfo(ASIOTime *, long half, ASIOBool direct) {
    InterlockedIncrement(&gStream.timeInfoCalls);
    onBufferSwitch(half, direct);
    return nullptr;
}

void onRateChange(ASIOSampleRate rate) {
    gStream.newRate = rate;
    SetEvent(gStream.rateChanged);
}

long onMessage(long selector, long value, void *, double *) {
    if (selector == kAsioSelectorSupported) return value == kAsioResetRequest ? 1 : 0;
    if (selector == kAsioResetRequest) {
        SetEvent(gStream.reset);
        return 1;
    }
    return 0;
}

ASIOCallbacks gCallbacks = {onBufferSwitch, onRateChange, onMessage, onBufferSwitchTimeInfo};

struct Wav {
    bool valid = false;
    int format = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    std::vector<float> samples;
};

uint32_t le32(const std::string &d, size_t at) {
    return uint32_t(uint8_t(d[at])) | uint32_t(uint8_t(d[at + 1])) << 8 | uint32_t(uint8_t(d[at + 2])) << 16 |
           uint32_t(uint8_t(d[at + 3])) << 24;
}

// An independent reader for the canonical 44-byte float WAV the driver records.
Wav readWav(const std::string &path) {
    Wav w;
    std::string d = testdriver::readFile(path);
    if (d.size() < 44 || d.compare(0, 4, "RIFF") || d.compare(8, 8, "WAVEfmt ") || d.compare(36, 4, "data"))
        return w;
    uint32_t dataBytes = le32(d, 40);
    if (le32(d, 4) != 36 + dataBytes || d.size() != 44 + size_t(dataBytes) || le32(d, 16) != 16) return w;
    w.format = int(le32(d, 20) & 0xFFFF);
    w.channels = int(le32(d, 20) >> 16);
    w.rate = le32(d, 24);
    w.bits = int(le32(d, 32) >> 16);
    if (le32(d, 28) != w.rate * 4u * uint32_t(w.channels) || (le32(d, 32) & 0xFFFF) != uint32_t(4 * w.channels))
        return w;
    w.samples.resize(dataBytes / 4);
    std::memcpy(w.samples.data(), d.data() + 44, w.samples.size() * 4);
    w.valid = true;
    return w;
}

class TestDriver : public ::testing::Test {
protected:
    void SetUp() override {
        resetDriverConnection();
        std::memset(&gStream, 0, sizeof(gStream));
        gStream.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        gStream.reset = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        gStream.rateChanged = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DeleteFileA(record.c_str());
        DeleteFileA(log.c_str());
    }
    void TearDown() override {
        resetDriverConnection();
        CloseHandle(gStream.done);
        CloseHandle(gStream.reset);
        CloseHandle(gStream.rateChanged);
        DeleteFileA(record.c_str());
        DeleteFileA(log.c_str());
    }

    Config base(long type) const {
        return Config()
            .set("Inputs", 2)
            .set("Outputs", 2)
            .set("SampleType", DWORD(type))
            .set("PreferredSize", DWORD(kSize))
            .set("Rates", std::string("44100,48000"))
            .set("CurrentRate", 48000)
            .set("Record", record)
            .set("Log", log);
    }

    // Loads and initialises the registered driver and creates 2 + 2 buffers.
    void open(long type) {
        ASSERT_TRUE(loadAsioDriver(kDescription));
        DriverInfo info = {};
        ASSERT_EQ(asioInit(&info), ASE_OK);
        gStream.inputType = gStream.outputType = type;
        for (long i = 0; i < 4; ++i) {
            gStream.infos[i].isInput = i < 2;
            gStream.infos[i].channelNum = i % 2;
            gStream.infos[i].buffers[0] = gStream.infos[i].buffers[1] = nullptr;
        }
        ASSERT_EQ(asioCreateBuffers(gStream.infos, 4, kSize, &gCallbacks), ASE_OK);
    }

    // Streams until the driver has made the wanted number of switches.
    void stream(LONG blocks) {
        gStream.wanted = blocks;
        ASSERT_EQ(asioStart(), ASE_OK);
        ASSERT_EQ(WaitForSingleObject(gStream.done, 20000), WAIT_OBJECT_0) << "blocks seen: " << gStream.calls;
        ASSERT_EQ(asioStop(), ASE_OK);
    }

    std::string logText() const { return testdriver::readFile(log); }

    std::string record = testdriver::tempPath("korvane_driver_record.wav");
    std::string log = testdriver::tempPath("korvane_driver.log");
    ScopedDrivers drivers;
};

}  // namespace

TEST_F(TestDriver, RecordsEveryOutputSampleInEveryType) {
    const long types[] = {ASIOSTInt16LSB,   ASIOSTInt24LSB,   ASIOSTInt32LSB,   ASIOSTFloat32LSB,
                          ASIOSTFloat64LSB, ASIOSTInt32LSB16, ASIOSTInt32LSB18, ASIOSTInt32LSB24,
                          ASIOSTInt16MSB,   ASIOSTInt24MSB,   ASIOSTInt32MSB,   ASIOSTFloat32MSB,
                          ASIOSTFloat64MSB, ASIOSTInt32MSB24};
    const LONG blocks = 12;
    for (long type : types) {
        SCOPED_TRACE("sample type " + std::to_string(type));
        resetDriverConnection();
        gStream.calls = 0;
        ResetEvent(gStream.done);
        ASSERT_TRUE(drivers.add(kName, kClsid, kDescription,
                                base(type).set("Fast", 1).set("Blocks", DWORD(blocks)).set("OutputReady", 1)));
        gStream.writeOutputs = true;
        open(type);
        stream(blocks);
        EXPECT_EQ(gStream.calls, blocks) << "no switch after the block limit";
        Wav wav = readWav(record);
        ASSERT_TRUE(wav.valid) << "header patched at stop";
        EXPECT_EQ(wav.format, 3);
        EXPECT_EQ(wav.channels, 2);
        EXPECT_EQ(wav.bits, 32);
        EXPECT_EQ(wav.rate, 48000u);
        ASSERT_EQ(wav.samples.size(), size_t(blocks * kSize * 2));
        int wrong = 0;
        for (long k = 0; k < blocks; ++k)
            for (long f = 0; f < kSize; ++f)
                for (long c = 0; c < 2; ++c)
                    if (wav.samples[size_t((k * kSize + f) * 2 + c)] != float(ramp(k, f, c))) ++wrong;
        EXPECT_EQ(wrong, 0);
        for (LONG k = 0; k < blocks; ++k) EXPECT_EQ(gStream.halves[k], k % 2) << "block " << k;
        EXPECT_EQ(asioDisposeBuffers(), ASE_OK);
        EXPECT_EQ(asioExit(), ASE_OK);
        std::string text = logText();
        EXPECT_NE(text.find("blocks 12 outputReady 12"), std::string::npos) << text;
        DeleteFileA(log.c_str());
    }
}

TEST_F(TestDriver, PacedStreamFeedsTheToneAndLogsEachCall) {
    ASSERT_TRUE(drivers.add(kName, kClsid, kDescription,
                            base(ASIOSTFloat32LSB).set("InputTone", 1000).set("Blocks", 40)));
    gStream.expectedInput = [](long frame, long) {
        return float(0.5 * std::sin(2.0 * 3.14159265358979323846 * 1000.0 * double(frame) / 48000.0));
    };
    gStream.writeOutputs = true;
    open(ASIOSTFloat32LSB);
    ASSERT_EQ(asioOutputReady(), ASE_NotPresent) << "OutputReady not set";
    stream(40);
    EXPECT_LT(gStream.maxInputError, 1e-4f);
    Wav wav = readWav(record);
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.samples.size(), size_t(40 * kSize * 2));
    EXPECT_EQ(asioDisposeBuffers(), ASE_OK);
    EXPECT_EQ(asioExit(), ASE_OK);
    std::string text = logText();
    const char *sequence[] = {"create KTA stream", "init", "getDriverName", "getDriverVersion",
                              "createBuffers 4 64", "start", "stop", "blocks 40 outputReady",
                              "disposeBuffers", "release KTA stream"};
    size_t at = 0;
    for (const char *line : sequence) {
        size_t found = text.find(line, at);
        EXPECT_NE(found, std::string::npos) << line << " in order in\n" << text;
        if (found != std::string::npos) at = found;
    }
    EXPECT_NE(text.find("blocksDone 40"), std::string::npos) << "the limit is logged (before or after stop)";
}

TEST_F(TestDriver, FeedsInputsFromAWavFile) {
    // Two channels of 16-bit PCM, 100 frames: channel c, frame i holds (i * 3 + c * 1000) / 32768.
    std::string input = testdriver::tempPath("korvane_driver_input.wav");
    std::vector<int16_t> pcm(200);
    for (int i = 0; i < 100; ++i)
        for (int c = 0; c < 2; ++c) pcm[size_t(i * 2 + c)] = int16_t(i * 3 + c * 1000);
    uint8_t header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0,
                          2,   0,   0x80, 0xBB, 0, 0, 0, 0xEE, 2, 0, 4,   0,   16,  0,   'd', 'a', 't', 'a'};
    uint32_t dataBytes = 400, riff = 436;
    std::memcpy(header + 4, &riff, 4);
    std::memcpy(header + 40, &dataBytes, 4);
    HANDLE f = CreateFileA(input.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written;
    WriteFile(f, header, 44, &written, nullptr);
    WriteFile(f, pcm.data(), 400, &written, nullptr);
    CloseHandle(f);

    ASSERT_TRUE(drivers.add(kName, kClsid, kDescription,
                            base(ASIOSTInt16LSB).set("InputFile", input).set("Fast", 1).set("Blocks", 5)));
    gStream.expectedInput = [](long frame, long channel) {
        return float((frame % 100) * 3 + channel * 1000) / 32768.0f;  // the file loops
    };
    open(ASIOSTInt16LSB);
    stream(5);
    EXPECT_EQ(gStream.maxInputError, 0.0f);
    DeleteFileA(input.c_str());
}

TEST_F(TestDriver, SendsResetRequestAndRateChangeWhileStreaming) {
    ASSERT_TRUE(drivers.add(kName, kClsid, kDescription,
                            base(ASIOSTInt32LSB)
                                .set("ResetAfterMs", 30)
                                .set("RateChangeAfterMs", 20)
                                .set("RateChangeTo", 44100)
                                .set("TimeInfo", 1)));
    open(ASIOSTInt32LSB);
    ASSERT_EQ(asioStart(), ASE_OK);
    EXPECT_EQ(WaitForSingleObject(gStream.reset, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(gStream.rateChanged, 20000), WAIT_OBJECT_0);
    ASSERT_EQ(asioStop(), ASE_OK);
    EXPECT_EQ(gStream.newRate, 44100.0);
    ASIOSampleRate rate = 0;
    EXPECT_EQ(asioGetSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0) << "the driver now runs at the new rate";
    EXPECT_GT(gStream.timeInfoCalls, 0);
    EXPECT_EQ(gStream.timeInfoCalls, gStream.calls) << "TimeInfo: every switch through bufferSwitchTimeInfo";
    std::string text = logText();
    EXPECT_NE(text.find("asioMessage 3 -> 1"), std::string::npos) << text;
    EXPECT_NE(text.find("sampleRateDidChange 44100"), std::string::npos) << text;
}

TEST_F(TestDriver, ConfiguredFailuresAndChecks) {
    ASSERT_TRUE(drivers.add(kName, kClsid, kDescription,
                            base(ASIOSTInt16LSB).set("Rates", std::string("48000")).set("NullBuffer", 3)));
    open(ASIOSTInt16LSB);
    EXPECT_NE(gStream.infos[2].buffers[0], nullptr);
    EXPECT_EQ(gStream.infos[2].buffers[1], nullptr) << "NullBuffer 3 clears half 1 of the third entry";
    EXPECT_NE(gStream.infos[3].buffers[1], nullptr);
    EXPECT_EQ(asioCreateBuffers(gStream.infos, 4, kSize, &gCallbacks), ASE_InvalidMode) << "created twice";
    EXPECT_EQ(asioCanSampleRate(44100.0), ASE_NoClock);
    EXPECT_EQ(asioSetSampleRate(44100.0), ASE_NoClock);
    EXPECT_EQ(asioCanSampleRate(48000.0), ASE_OK);
    ASIOChannelInfo info = {};
    info.channel = 2;
    info.isInput = 1;
    EXPECT_EQ(asioGetChannelInfo(&info), ASE_InvalidParameter) << "only two inputs";
    info.channel = 1;
    EXPECT_EQ(asioGetChannelInfo(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Test In 2");
    EXPECT_EQ(info.isActive, 1);
    EXPECT_EQ(asioDisposeBuffers(), ASE_OK);
    EXPECT_EQ(asioDisposeBuffers(), ASE_InvalidMode);
    EXPECT_EQ(asioStart(), ASE_InvalidMode) << "no buffers";

    ASIOBufferInfo bad[1] = {{0, 2, {nullptr, nullptr}}};
    EXPECT_EQ(asioCreateBuffers(bad, 1, kSize, &gCallbacks), ASE_InvalidParameter) << "output 2 does not exist";
    EXPECT_EQ(asioCreateBuffers(gStream.infos, 4, 0, &gCallbacks), ASE_OK) << "a size of 0 is accepted";
    EXPECT_EQ(asioDisposeBuffers(), ASE_OK);

    // Everything that can be made to fail, after re-reading the configuration at init.
    testdriver::writeConfig(kName, Config()
                                       .set("FailCreateBuffers", 1)
                                       .set("FailSetSampleRate", 1)
                                       .set("FailStart", 1)
                                       .set("FailOps", std::string("getChannels, getLatencies")));
    resetDriverConnection();
    ASSERT_TRUE(loadAsioDriver(kDescription));
    DriverInfo driverInfo = {};
    ASSERT_EQ(asioInit(&driverInfo), ASE_OK);
    long a, b;
    EXPECT_NE(asioGetChannels(&a, &b), ASE_OK);
    EXPECT_NE(asioGetLatencies(&a, &b), ASE_OK);
    EXPECT_NE(asioSetSampleRate(48000.0), ASE_OK);
    EXPECT_NE(asioCreateBuffers(gStream.infos, 4, kSize, &gCallbacks), ASE_OK);
    EXPECT_NE(asioStart(), ASE_OK);
}

TEST_F(TestDriver, OutputFillShowsWhatTheHostLeftUnwritten) {
    ASSERT_TRUE(drivers.add(kName, kClsid, kDescription,
                            base(ASIOSTFloat32LSB).set("OutputFill", 0x40).set("Fast", 1).set("Blocks", 3)));
    gStream.writeOutputs = false;
    open(ASIOSTFloat32LSB);
    stream(3);
    Wav wav = readWav(record);
    ASSERT_TRUE(wav.valid);
    ASSERT_EQ(wav.samples.size(), size_t(3 * kSize * 2));
    uint32_t bits = 0x40404040;
    float fill;
    std::memcpy(&fill, &bits, 4);
    for (float s : wav.samples) ASSERT_EQ(s, fill);
}
