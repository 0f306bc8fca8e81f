#include "plugin/host_callback.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "audio/engine_state.h"
#include "core/app_state.h"
#include "engine/engine_hooks.h"
#include "engine/time_info.h"
#include "support/fake_plugin.h"
#include "plugin/plugin_instance.h"

namespace {

// Sets the shared settings the callback reads and puts them back afterwards.
class HostCallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        installEngine();
        savedTempo = gTempo;
        savedRate = gEngine.sampleRate;
        savedBlock = gEngine.blockSize;
        savedTime = gTimeInfo;
    }
    void TearDown() override {
        gTempo = savedTempo;
        gEngine.sampleRate = savedRate;
        gEngine.blockSize = savedBlock;
        gTimeInfo = savedTime;
    }
    int32_t savedTempo = 0, savedRate = 0, savedBlock = 0;
    VstTimeInfo savedTime = {};
};

// An instance attached to a fake plugin object, as open leaves it.
struct Attached {
    FakePlugin fake;
    PluginInstance instance;
    explicit Attached(VstInt32 flags = 0) : fake(flags) {
        instance.effect = &fake.effect;
        fake.effect.resvd1 = reinterpret_cast<VstIntPtr>(&instance);
    }
    ~Attached() {
        instance.editorWindow = nullptr;
        instance.effect = nullptr;  // nothing for the destructor to close
    }
};

TEST_F(HostCallbackTest, PlainAnswersFollowTheTable) {
    gTempo = 120;
    gEngine.sampleRate = 48000;
    gEngine.blockSize = 256;
    struct Row {
        VstInt32 opcode;
        VstIntPtr value;
        VstIntPtr expected;
    } rows[] = {
        {audioMasterVersion, 0, 2},
        {audioMasterPinConnected, 0, 0},
        {audioMasterPinConnected, 1, 0},
        {audioMasterTempoAt, 0, 1200000},
        {audioMasterTempoAt, 999999, 1200000},  // the position asked for does not matter
        {audioMasterGetSampleRate, 0, 48000},
        {audioMasterGetBlockSize, 0, 256},
        {audioMasterGetVendorVersion, 0, 1000},
        {audioMasterGetLanguage, 0, 1},
        {audioMasterIdle, 0, 1},
        {audioMasterWantMidi, 0, 1},
        {audioMasterNeedIdle, 0, 1},
        // Answered 0 and ignored.
        {audioMasterAutomate, 5, 0},
        {audioMasterCurrentId, 0, 0},
        {audioMasterProcessEvents, 0, 0},
        {audioMasterSizeWindow, 640, 0},
        {5, 0, 0},
        {9, 0, 0},
        {39, 0, 0},
        {42, 0, 0},
        {100, 0, 0},
        {-1, 0, 0},
        {-37, 0, 0},
        {INT_MIN, 0, 0},
        {INT_MAX, 0, 0},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(hostCallback(nullptr, r.opcode, 0, r.value, nullptr, 0.0f), r.expected) << "opcode " << r.opcode;
    }
}

TEST_F(HostCallbackTest, RateBlockAndTempoAreReadWhenAsked) {
    struct Row {
        int32_t tempo, rate, block;
    } rows[] = {{120, 44100, 882}, {95, 96000, 512}, {500, 22050, 64}, {10, 192000, 4096}};
    for (const Row &r : rows) {
        gTempo = r.tempo;
        gEngine.sampleRate = r.rate;
        gEngine.blockSize = r.block;
        EXPECT_EQ(hostCallback(nullptr, audioMasterTempoAt, 0, 0, nullptr, 0.0f), (VstIntPtr)r.tempo * 10000);
        EXPECT_EQ(hostCallback(nullptr, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f), r.rate);
        EXPECT_EQ(hostCallback(nullptr, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f), r.block);
    }
}

// An attached plugin hears the rate and block size it was last given, also in the
// time record, whatever the engine runs at (an export gives the plugin its own);
// before anything was given, the 44100 and 882 every plugin is opened with.
TEST_F(HostCallbackTest, AttachedPluginHearsTheRateAndBlockItWasGiven) {
    gEngine.sampleRate = 48000;
    gEngine.blockSize = 256;
    struct Row {
        float rate;
        int block;
    } rows[] = {{0.0f, 0}, {96000.0f, 512}, {11025.0f, 512}, {44100.0f, 64}};
    Attached a;
    for (const Row &r : rows) {
        if (r.rate > 0.0f) a.instance.setRateAndBlock(r.rate, r.block);
        int32_t rate = r.rate > 0.0f ? (int32_t)r.rate : 44100, block = r.rate > 0.0f ? r.block : 882;
        EXPECT_EQ(hostCallback(&a.fake.effect, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f), rate);
        EXPECT_EQ(hostCallback(&a.fake.effect, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f), block);
        VstIntPtr time = hostCallback(&a.fake.effect, audioMasterGetTime, 0, 0, nullptr, 0.0f);
        EXPECT_EQ(reinterpret_cast<const VstTimeInfo *>(time)->sampleRate, (double)rate);
    }
    // Two instances at once (an export's): each its own record, each with its own rate.
    Attached b;
    b.instance.setRateAndBlock(22050.0f, 512);
    const VstTimeInfo *first = reinterpret_cast<const VstTimeInfo *>(
                          hostCallback(&a.fake.effect, audioMasterGetTime, 0, 0, nullptr, 0.0f)),
                      *second = reinterpret_cast<const VstTimeInfo *>(
                          hostCallback(&b.fake.effect, audioMasterGetTime, 0, 0, nullptr, 0.0f));
    EXPECT_NE(first, second);
    EXPECT_NE(first, &gTimeInfo);
    EXPECT_EQ(44100.0, first->sampleRate);
    EXPECT_EQ(22050.0, second->sampleRate);
}

TEST_F(HostCallbackTest, CanDoIsCaseSensitiveAndNullSafe) {
    struct Row {
        const char *text;
        VstIntPtr expected;
    } rows[] = {
        {"sendVstMidiEvent", 1},    {"sendVstTimeInfo", 1},     {"receiveVstMidiEvent", 1},
        {"supplyIdle", 1},          {"SendVstMidiEvent", 0},    {"sendvsttimeinfo", 0},
        {"RECEIVEVSTMIDIEVENT", 0}, {"supplyidle", 0},          {"sendVstEvents", 0},
        {"receiveVstEvents", 0},    {"sizeWindow", 0},          {"", 0},
        {"supplyIdle ", 0},         {"sendVstMidiEventFlagIsRealtime", 0},
    };
    for (const Row &r : rows) {
        char buffer[64];
        strcpy(buffer, r.text);
        EXPECT_EQ(hostCallback(nullptr, audioMasterCanDo, 0, 0, buffer, 0.0f), r.expected) << '"' << r.text << '"';
    }
    EXPECT_EQ(hostCallback(nullptr, audioMasterCanDo, 0, 0, nullptr, 0.0f), 0);
}

TEST_F(HostCallbackTest, GetTimeFillsRateAndTempoWhateverTheMask) {
    struct Row {
        int32_t tempo, rate;
        VstIntPtr mask;
    } rows[] = {{120, 44100, 0}, {120, 44100, kVstTempoValid}, {120, 44100, -1}, {97, 48000, 0xFFFF}};
    for (const Row &r : rows) {
        gTempo = r.tempo;
        gEngine.sampleRate = r.rate;
        gTimeInfo.tempo = 0.0;
        gTimeInfo.sampleRate = 0.0;
        VstIntPtr answer = hostCallback(nullptr, audioMasterGetTime, 0, r.mask, nullptr, 0.0f);
        ASSERT_NE(answer, 0);
        const VstTimeInfo *time = reinterpret_cast<const VstTimeInfo *>(answer);
        EXPECT_EQ(time, &gTimeInfo);
        EXPECT_EQ(time->tempo, (double)r.tempo);
        EXPECT_EQ(time->sampleRate, (double)r.rate);
    }
}

TEST_F(HostCallbackTest, VendorAndProductStringsAreCopiedWithTheirTerminator) {
    struct Row {
        VstInt32 opcode;
        const char *expected;
    } rows[] = {{audioMasterGetVendorString, "Morvex"}, {audioMasterGetProductString, "Korvane"}};
    for (const Row &r : rows) {
        char buffer[64];
        memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(hostCallback(nullptr, r.opcode, 0, 0, buffer, 0.0f), 1);
        size_t length = strlen(r.expected);
        EXPECT_EQ(std::string(buffer, length + 1), std::string(r.expected, length + 1));
        EXPECT_EQ(buffer[length + 1], '#') << "wrote past the terminator";
        // A null buffer is refused rather than written through.
        EXPECT_EQ(hostCallback(nullptr, r.opcode, 0, 0, nullptr, 0.0f), 0);
    }
}

TEST_F(HostCallbackTest, WantMidiMarksOnlyAnAttachedInstance) {
    Attached a;
    a.fake.effect.resvd1 = 0;  // as during effOpen
    EXPECT_EQ(hostCallback(&a.fake.effect, audioMasterWantMidi, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(a.instance.wantsMidi, 0);
    a.fake.effect.resvd1 = reinterpret_cast<VstIntPtr>(&a.instance);
    EXPECT_EQ(hostCallback(&a.fake.effect, audioMasterWantMidi, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(a.instance.wantsMidi, 1);
    EXPECT_TRUE(a.fake.calls.empty());
}

TEST_F(HostCallbackTest, NeedIdleIdlesAtOnceAndKeepsTheAnswer) {
    struct Row {
        VstIntPtr idleResult;
        LONG expectedFlag;
    } rows[] = {{0, 0}, {1, 1}, {7, 1}};
    for (const Row &r : rows) {
        Attached a;
        a.fake.idleResult = r.idleResult;
        EXPECT_EQ(hostCallback(&a.fake.effect, audioMasterNeedIdle, 0, 0, nullptr, 0.0f), 1);
        EXPECT_EQ(a.fake.opcodes(), std::vector<VstInt32>{effIdle});
        EXPECT_EQ(a.instance.needsIdle, r.expectedFlag) << "effIdle answered " << r.idleResult;
        // The instance's own idle carries on only while the plugin wants it.
        a.fake.calls.clear();
        EXPECT_EQ(a.instance.idle(), r.expectedFlag);
        EXPECT_EQ(a.fake.count(effIdle), r.expectedFlag ? 1 : 0);
    }
    // Not attached yet: no nested call.
    Attached detached;
    detached.fake.effect.resvd1 = 0;
    EXPECT_EQ(hostCallback(&detached.fake.effect, audioMasterNeedIdle, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(detached.fake.calls.empty());
    EXPECT_EQ(detached.instance.needsIdle, 0);
}

TEST_F(HostCallbackTest, IdleRequestIdlesTheEditorOnlyWhenOneIsOpen) {
    Attached a(effFlagsHasEditor);
    EXPECT_EQ(hostCallback(&a.fake.effect, audioMasterIdle, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(a.fake.calls.empty());
    a.instance.editorWindow = GetDesktopWindow();  // any window will do; it is only passed along
    EXPECT_EQ(hostCallback(&a.fake.effect, audioMasterIdle, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(a.fake.opcodes(), std::vector<VstInt32>{effEditIdle});
}

TEST_F(HostCallbackTest, IgnoredRequestsLeaveTheInstanceAlone) {
    Attached a;
    for (VstInt32 opcode : {0, -1, (int)audioMasterProcessEvents, (int)audioMasterSizeWindow, 12345}) {
        char buffer[16] = "untouched";
        EXPECT_EQ(hostCallback(&a.fake.effect, opcode, 1, 1, buffer, 1.0f), 0) << opcode;
        EXPECT_STREQ(buffer, "untouched");
    }
    EXPECT_EQ(a.instance.wantsMidi, 0);
    EXPECT_EQ(a.instance.needsIdle, 0);
    EXPECT_TRUE(a.fake.calls.empty());
}

}  // namespace
