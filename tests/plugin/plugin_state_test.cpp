// What is refused before a state reaches a plugin, and what is never asked of one
// (the sound's round trip between instances is the sound end-to-end test's).
#include "plugin/plugin_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/demo_plugin.h"
#include "support/fake_plugin.h"
#include "plugin/plugin_instance.h"

namespace {

// A4 at full velocity from silence: four blocks of output 0.
std::vector<float> renderNote(AEffect *effect) {
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    VstMidiEvent midi = {};
    midi.type = kVstMidiType;
    midi.byteSize = sizeof midi;
    midi.midiData[0] = (char)0x90;
    midi.midiData[1] = 69;
    midi.midiData[2] = 127;
    VstEvents events = {};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<VstEvent *>(&midi);
    effect->dispatcher(effect, effProcessEvents, 0, 0, &events, 0.0f);
    std::vector<float> out0(512), out1(512), silence(512, 0.0f), all;
    float *outs[2] = {out0.data(), out1.data()};
    float *ins[2] = {silence.data(), silence.data()};
    for (int block = 0; block < 4; ++block) {
        std::fill(out0.begin(), out0.end(), 0.0f);
        std::fill(out1.begin(), out1.end(), 0.0f);
        effect->process(effect, ins, outs, 512);
        all.insert(all.end(), out0.begin(), out0.end());
    }
    return all;
}

// Two instances of the demo in one variant.
struct TwoInstances {
    explicit TwoInstances(const char *variant) : demo(variant) {
        std::string path = demoModulePath();
        opened = a.open(path.c_str(), 44100.0f, 512) && b.open(path.c_str(), 44100.0f, 512);
    }
    DemoSetup demo;
    PluginInstance a, b;
    bool opened = false;
};

// A sound of its own in every program of the first instance, program 2 current.
void shapeSound(AEffect *effect) {
    for (int p = 0; p < 4; ++p) {
        effect->dispatcher(effect, effSetProgram, 0, p, nullptr, 0.0f);
        effect->setParameter(effect, 0, 0.2f + 0.1f * p);
        effect->setParameter(effect, 1, 0.9f - 0.2f * p);
    }
    effect->dispatcher(effect, effSetProgram, 0, 2, nullptr, 0.0f);
}

TEST(PluginState, StatesThatDoNotFitAreRefusedAndTheSoundStays) {
    TwoInstances params("sound-params");
    ASSERT_TRUE(params.opened);
    DemoSetup chunkDemo("sound-chunk");
    PluginInstance chunky;
    ASSERT_EQ(chunky.open(demoModulePath().c_str(), 44100.0f, 512), 1);
    DemoSetup otherDemo("sound-params, other-id");
    PluginInstance other;
    ASSERT_EQ(other.open(demoModulePath().c_str(), 44100.0f, 512), 1);
    PluginState fromChunky, fromOther, fromParams, wrongParams, wrongPrograms, refused;
    ASSERT_TRUE(takePluginState(chunky.effect, true, fromChunky).ok());
    ASSERT_TRUE(takePluginState(other.effect, true, fromOther).ok());
    ASSERT_TRUE(takePluginState(params.a.effect, true, fromParams).ok());
    ASSERT_TRUE(takePluginState(params.a.effect, false, wrongParams).ok());
    wrongParams.numParams = 3;  // the values block holds one spare value
    ASSERT_TRUE(takePluginState(params.a.effect, true, wrongPrograms).ok());
    ASSERT_TRUE(takePluginState(chunky.effect, false, refused).ok());
    refused.chunkData[0] ^= 0xFF;  // no longer the demo's own chunk
    // The plugins that receive them, shaped so that a change would be heard.
    shapeSound(params.b.effect);
    shapeSound(chunky.effect);
    struct Case {
        const char *name;
        AEffect *to;
        PluginState *state;
        StateReason reason;
        VstInt32 file, instrument;  // IDs, or programs and parameters
    } cases[] = {
        {"another instrument's", params.b.effect, &fromOther, kStateOtherInstrument, 0x4B727658, 0x4B72764F},
        {"a chunk for parameters", params.b.effect, &fromChunky, kStateChunkForm, 0, 0},
        {"three parameters for two", params.b.effect, &wrongParams, kStateOtherLayout, 3, 2},
        {"a refused chunk", chunky.effect, &refused, kStateRefused, 0, 0},
    };
    for (const Case &c : cases) {
        const std::vector<float> before = renderNote(c.to);
        StateFailure fits = stateFitsPlugin(c.to, *c.state);
        StateFailure given = givePluginState(c.to, *c.state);
        EXPECT_EQ(given.reason, c.reason) << c.name;
        if (c.reason != kStateRefused) {
            EXPECT_EQ(fits.reason, c.reason) << c.name;
        }
        if (c.reason == kStateOtherInstrument) {
            EXPECT_EQ(given.fileId, c.file);
            EXPECT_EQ(given.instrumentId, c.instrument);
        }
        if (c.reason == kStateOtherLayout) {
            EXPECT_EQ(given.fileParams, c.file);
            EXPECT_EQ(given.instrumentParams, c.instrument);
            EXPECT_EQ(given.instrumentPrograms, 4);
        }
        EXPECT_EQ(renderNote(c.to), before) << c.name;
    }
    // A bank of more programs than the plugin has is another layout too.
    wrongPrograms.numPrograms = 5;
    StateFailure more = stateFitsPlugin(params.b.effect, wrongPrograms);
    wrongPrograms.numPrograms = 4;  // what it holds, for clear()
    EXPECT_EQ(more.reason, kStateOtherLayout);
    EXPECT_EQ(more.filePrograms, 5);
    // The state of the parameters instance goes into the other parameters instance.
    EXPECT_TRUE(givePluginState(params.b.effect, fromParams).ok());
}

TEST(PluginState, NothingIsAskedOfAPluginWithoutSettings) {
    struct Case {
        VstInt32 flags, programs, params;
        StateReason reason;
    } cases[] = {
        {0, 0, 0, kStateNothingToKeep},
        {effFlagsHasEditor, -3, -1, kStateNothingToKeep},
        {effFlagsProgramChunks, 0, 0, kStateNoChunk},  // asked for its chunk, which it does not hand
        {0, 0, 1, kStateOk},
    };
    for (const Case &c : cases) {
        FakePlugin fake(c.flags);
        fake.effect.numPrograms = c.programs;
        fake.effect.numParams = c.params;
        PluginState state;
        EXPECT_EQ(takePluginState(&fake.effect, true, state).reason, c.reason) << c.flags;
        EXPECT_EQ(fake.calls.empty(), c.reason == kStateNothingToKeep) << c.flags;
    }
    PluginState state;
    EXPECT_EQ(takePluginState(nullptr, false, state).reason, kStateNothingToKeep);
}

}  // namespace
