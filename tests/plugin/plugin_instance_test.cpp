#include "plugin/plugin_instance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "audio/engine_state.h"
#include "core/app_state.h"
#include "support/demo_plugin.h"
#include "engine/engine_hooks.h"
#include "support/fake_plugin.h"

namespace {

std::vector<VstIntPtr> mainsValues(const FakePlugin &fake) {
    std::vector<VstIntPtr> values;
    for (const DispatchCall &c : fake.calls) {
        if (c.opcode == effMainsChanged) values.push_back(c.value);
    }
    return values;
}

// --- The instance's own logic, on a hand-made plugin object -------------------

TEST(PluginInstanceLogic, ResumeAndSuspendSendOnlyRealChanges) {
    struct Row {
        const char *steps;  // r = resume, s = suspend
        std::vector<VstIntPtr> expected;
    } rows[] = {
        {"r", {1}},  {"rr", {1}},      {"s", {}},         {"ss", {}},          {"rs", {1, 0}},
        {"rss", {1, 0}}, {"rsr", {1, 0, 1}}, {"srs", {1, 0}}, {"rrsrs", {1, 0, 1, 0}},
    };
    for (const Row &r : rows) {
        FakePlugin fake;
        PluginInstance instance;
        instance.effect = &fake.effect;
        for (const char *s = r.steps; *s; ++s) {
            if (*s == 'r') instance.resume();
            else instance.suspend();
            EXPECT_EQ(instance.resumed, *s == 'r' ? 1 : 0) << r.steps;
        }
        EXPECT_EQ(mainsValues(fake), r.expected) << r.steps;
        for (const DispatchCall &c : fake.calls) EXPECT_EQ(c.index, 0);
        instance.effect = nullptr;
    }
}

TEST(PluginInstanceLogic, EveryRealResumeAndEverySuspendForgetTheMidiWish) {
    FakePlugin fake;
    PluginInstance instance;
    instance.effect = &fake.effect;
    instance.wantsMidi = 1;
    instance.suspend();  // never resumed: nothing sent, the wish is still forgotten
    EXPECT_EQ(instance.wantsMidi, 0);
    instance.wantsMidi = 1;
    instance.resume();
    EXPECT_EQ(instance.wantsMidi, 0);
    instance.wantsMidi = 1;
    instance.resume();  // already on: nothing changes
    EXPECT_EQ(instance.wantsMidi, 1);
    instance.suspend();
    EXPECT_EQ(instance.wantsMidi, 0);
    instance.effect = nullptr;
}

TEST(PluginInstanceLogic, RateAndBlockGoToThePluginInThatOrder) {
    FakePlugin fake;
    PluginInstance instance;
    instance.setRateAndBlock(48000.0f, 512);  // no plugin: nothing to call
    instance.effect = &fake.effect;
    instance.setRateAndBlock(96000.0f, 64);
    ASSERT_EQ(fake.opcodes(), (std::vector<VstInt32>{effSetSampleRate, effSetBlockSize}));
    EXPECT_EQ(fake.calls[0].opt, 96000.0f);
    EXPECT_EQ(fake.calls[0].value, 0);
    EXPECT_EQ(fake.calls[0].ptr, nullptr);
    EXPECT_EQ(fake.calls[1].value, 64);
    instance.effect = nullptr;
}

TEST(PluginInstanceLogic, HasEditorReadsFlagBitZero) {
    struct Row {
        VstInt32 flags;
        int expected;
    } rows[] = {{0, 0}, {effFlagsHasEditor, 1}, {effFlagsIsSynth, 0}, {effFlagsIsSynth | effFlagsHasEditor, 1},
                {-2, 0}, {-1, 1}};
    for (const Row &r : rows) {
        FakePlugin fake(r.flags);
        PluginInstance instance;
        EXPECT_EQ(instance.hasEditor(), 0);
        instance.effect = &fake.effect;
        EXPECT_EQ(instance.hasEditor(), r.expected) << r.flags;
        instance.effect = nullptr;
    }
}

TEST(PluginInstanceLogic, IdleRunsOnlyWhileThePluginAsksForIt) {
    FakePlugin fake;
    PluginInstance instance;
    instance.effect = &fake.effect;
    EXPECT_EQ(instance.idle(), 0);
    EXPECT_EQ(fake.count(effIdle), 0);
    instance.needsIdle = 1;
    fake.idleResult = 1;
    EXPECT_EQ(instance.idle(), 1);
    EXPECT_EQ(instance.idle(), 1);
    fake.idleResult = 0;
    EXPECT_EQ(instance.idle(), 0);
    EXPECT_EQ(instance.idle(), 0);
    EXPECT_EQ(fake.count(effIdle), 3);
    instance.effect = nullptr;
}

TEST(PluginInstanceLogic, EditorIdleNeedsAnEditorWindow) {
    FakePlugin fake(effFlagsHasEditor);
    PluginInstance instance;
    instance.effect = &fake.effect;
    instance.editorIdle();
    EXPECT_TRUE(fake.calls.empty());
    instance.editorWindow = GetDesktopWindow();
    instance.editorIdle();
    EXPECT_EQ(fake.opcodes(), std::vector<VstInt32>{effEditIdle});
    instance.editorWindow = nullptr;
    instance.effect = nullptr;
}

TEST(PluginInstanceLogic, CloseSuspendsClosesTheEditorThenThePlugin) {
    FakePlugin fake(effFlagsHasEditor);
    PluginInstance instance;
    instance.effect = &fake.effect;
    instance.resume();
    instance.editorWindow = GetDesktopWindow();
    instance.parentWindow = GetDesktopWindow();
    instance.needsIdle = 1;
    instance.wantsMidi = 1;
    fake.calls.clear();
    instance.close();
    EXPECT_EQ(fake.opcodes(), (std::vector<VstInt32>{effMainsChanged, effEditClose, effClose}));
    EXPECT_EQ(fake.calls[0].value, 0);
    EXPECT_EQ(instance.effect, nullptr);
    EXPECT_EQ(instance.editorWindow, nullptr);
    EXPECT_EQ(instance.parentWindow, nullptr);
    EXPECT_EQ(instance.wantsMidi, 0);
    EXPECT_EQ(instance.resumed, 0);
    EXPECT_EQ(instance.needsIdle, 0);
    // Closed: every operation is a no-op.
    fake.calls.clear();
    instance.close();
    instance.resume();
    instance.suspend();
    instance.editorIdle();
    EXPECT_EQ(instance.idle(), 0);
    EXPECT_EQ(instance.hasEditor(), 0);
    EXPECT_EQ(instance.dispatch(effVendorSpecific, 1), 0);
    EXPECT_TRUE(fake.calls.empty());
}

TEST(PluginInstanceLogic, PluginWithoutDispatcherIsNotCalled) {
    FakePlugin fake;
    fake.effect.dispatcher = nullptr;
    PluginInstance instance;
    instance.effect = &fake.effect;
    instance.resume();
    EXPECT_EQ(instance.dispatch(effIdle), 0);
    instance.close();
    EXPECT_EQ(instance.effect, nullptr);
}

// --- The real demo module ------------------------------------------------------

const char *const kOpenLines[] = {"vstfx", "dispatch 0 0 0 0"};

std::vector<std::string> withoutHostLines(const std::vector<std::string> &lines) {
    std::vector<std::string> result;
    for (const std::string &l : lines) {
        if (l.compare(0, 5, "host ") != 0) result.push_back(l);
    }
    return result;
}

TEST(PluginInstanceDemo, OpenAttachesTheInstanceAndSetsRateAndBlock) {
    DemoSetup demo;
    PluginInstance instance;
    std::string path = demoModulePath();
    ASSERT_EQ(instance.open(path.c_str(), 44100.0f, 882), 1);
    ASSERT_NE(instance.effect, nullptr);
    EXPECT_NE(instance.module, nullptr);
    EXPECT_EQ(instance.effect->resvd1, reinterpret_cast<VstIntPtr>(&instance));
    ASSERT_NE(instance.modulePath, nullptr);
    EXPECT_STREQ(instance.modulePath, path.c_str());
    EXPECT_NE(instance.modulePath, path.c_str());
    EXPECT_TRUE(isLoaded(path));
    EXPECT_EQ(withoutHostLines(demo.log()),
              (std::vector<std::string>{kOpenLines[0], kOpenLines[1], "dispatch 10 0 0 44100", "dispatch 11 0 882 0"}));
    instance.close();
    EXPECT_FALSE(isLoaded(path));
    EXPECT_EQ(instance.module, nullptr);
    EXPECT_EQ(instance.modulePath, nullptr);
    EXPECT_EQ(demo.logged("dispatch").back(), "dispatch 1 0 0 0");
}

TEST(PluginInstanceDemo, OpeningTwiceClosesTheFirstCompletely) {
    DemoSetup demo;
    PluginInstance instance;
    std::string path = demoModulePath();
    ASSERT_EQ(instance.open(path.c_str(), 44100.0f, 882), 1);
    instance.resume();
    ASSERT_EQ(instance.open(path.c_str(), 48000.0f, 512), 1);
    EXPECT_EQ(withoutHostLines(demo.log()),
              (std::vector<std::string>{"vstfx", "dispatch 0 0 0 0", "dispatch 10 0 0 44100", "dispatch 11 0 882 0",
                                        "dispatch 12 0 1 0", "dispatch 12 0 0 0", "dispatch 1 0 0 0", "vstfx",
                                        "dispatch 0 0 0 0", "dispatch 10 0 0 48000", "dispatch 11 0 512 0"}));
    EXPECT_EQ(instance.resumed, 0);
    EXPECT_EQ(instance.effect->resvd1, reinterpret_cast<VstIntPtr>(&instance));
    instance.close();
    EXPECT_FALSE(isLoaded(path));
}

TEST(PluginInstanceDemo, MainsChangeOnlyWhenTheStateChanges) {
    DemoSetup demo;
    PluginInstance instance;
    ASSERT_EQ(instance.open(demoModulePath().c_str(), 44100.0f, 882), 1);
    instance.suspend();  // never resumed
    EXPECT_TRUE(demo.logged("dispatch 12").empty());
    instance.resume();
    instance.resume();
    EXPECT_EQ(demo.logged("dispatch 12"), std::vector<std::string>{"dispatch 12 0 1 0"});
    instance.suspend();
    instance.suspend();
    EXPECT_EQ(demo.logged("dispatch 12"), (std::vector<std::string>{"dispatch 12 0 1 0", "dispatch 12 0 0 0"}));
    instance.close();
    EXPECT_EQ(demo.logged("dispatch 12").size(), 2u) << "close suspended a suspended plugin";
}

TEST(PluginInstanceDemo, CloseSuspendsBeforeClosing) {
    DemoSetup demo;
    std::string path = demoModulePath();
    {
        PluginInstance instance;
        ASSERT_EQ(instance.open(path.c_str(), 44100.0f, 882), 1);
        instance.resume();
    }  // the destructor closes
    std::vector<std::string> d = demo.logged("dispatch");
    ASSERT_GE(d.size(), 2u);
    EXPECT_EQ(d[d.size() - 2], "dispatch 12 0 0 0");
    EXPECT_EQ(d.back(), "dispatch 1 0 0 0");
    EXPECT_FALSE(isLoaded(path));
}

TEST(PluginInstanceDemo, AfterCloseNothingReachesThePlugin) {
    DemoSetup demo("needidle");
    PluginInstance instance;
    ASSERT_EQ(instance.open(demoModulePath().c_str(), 44100.0f, 882), 1);
    instance.resume();
    size_t before = demo.log().size();
    instance.close();
    size_t closed = demo.log().size();
    EXPECT_GT(closed, before);
    EXPECT_EQ(instance.idle(), 0);
    instance.editorIdle();
    EXPECT_EQ(instance.hasEditor(), 0);
    EXPECT_EQ(demo.log().size(), closed);
    EXPECT_TRUE(demo.logged("dispatch 19").empty());
}

TEST(PluginInstanceDemo, MidiWishCountsOnlyWhenMadeDuringResume) {
    {
        DemoSetup demo("midi-on-open");
        PluginInstance instance;
        ASSERT_EQ(instance.open(demoModulePath().c_str(), 44100.0f, 882), 1);
        EXPECT_FALSE(demo.logged("host 6").empty()) << "the demo did not ask during effOpen";
        EXPECT_EQ(instance.wantsMidi, 0);
        instance.resume();
        EXPECT_EQ(instance.wantsMidi, 0);
    }
    {
        DemoSetup demo;
        PluginInstance instance;
        ASSERT_EQ(instance.open(demoModulePath().c_str(), 44100.0f, 882), 1);
        EXPECT_EQ(instance.wantsMidi, 0);
        instance.resume();
        EXPECT_FALSE(demo.logged("host 6").empty());
        EXPECT_EQ(instance.wantsMidi, 1);
        instance.suspend();
        EXPECT_EQ(instance.wantsMidi, 0);
        instance.resume();
        EXPECT_EQ(instance.wantsMidi, 1);
    }
}

TEST(PluginInstanceDemo, NeedIdleIsServedAtOnceThenByIdle) {
    // The demo asks for idle time during resume and wants two effIdle calls in all.
    DemoSetup demo("needidle");
    PluginInstance instance;
    ASSERT_EQ(instance.open(demoModulePath().c_str(), 44100.0f, 882), 1);
    EXPECT_EQ(instance.idle(), 0);
    EXPECT_TRUE(demo.logged("idle").empty());
    instance.resume();
    // The nested effIdle ran before the request returned.
    std::vector<std::string> log = demo.log();
    auto asked = std::find(log.begin(), log.end(), "host 14 1");
    ASSERT_NE(asked, log.end());
    ASSERT_NE(asked, log.begin());
    EXPECT_EQ(*(asked - 1), "idle 1");
    EXPECT_EQ(instance.needsIdle, 1);
    EXPECT_EQ(instance.idle(), 1);
    EXPECT_EQ(instance.idle(), 0);
    EXPECT_EQ(instance.idle(), 0);
    EXPECT_EQ(demo.logged("idle"), (std::vector<std::string>{"idle 1", "idle 1", "idle 0"}));
}

TEST(PluginInstanceDemo, TheModuleReachesTheHostCallback) {
    // The demo's probe asks the host a round of questions during resume.
    installEngine();
    int32_t savedTempo = gTempo, savedRate = gEngine.sampleRate, savedBlock = gEngine.blockSize;
    gTempo = 90;
    gEngine.sampleRate = 48000;
    gEngine.blockSize = 256;
    DemoSetup demo("probe-host");
    PluginInstance instance;
    ASSERT_EQ(instance.open(demoModulePath().c_str(), 48000.0f, 256), 1);
    instance.resume();
    std::vector<std::string> log = demo.log();
    for (const char *line : {"host 1 2", "host 16 48000", "host 17 256", "time 90 48000 0", "host 10 900000",
                             "vendor-string Morvex", "product-string Korvane", "host 6 1"}) {
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
    }
    // canDo "sendVstMidiEvent" then "SendVstMidiEvent".
    EXPECT_EQ(demo.logged("host 37"), (std::vector<std::string>{"host 37 1", "host 37 0"}));
    instance.close();
    gTempo = savedTempo;
    gEngine.sampleRate = savedRate;
    gEngine.blockSize = savedBlock;
}

struct FailingOpen {
    const char *name;
    const char *variant;
    bool copyNoEntry;  // the module without "vstfx", copied into a folder of its own
    bool missing;
};

TEST(PluginInstanceDemo, FailedOpenLeavesNothingLoaded) {
    const FailingOpen rows[] = {
        {"missing module", nullptr, false, true},
        {"no entry", nullptr, true, false},
        {"null plugin", "nullplugin", false, false},
    };
    for (const FailingOpen &r : rows) {
        DemoSetup demo(r.variant);
        std::string folder = makeTempFolder();
        std::string path = demoModulePath();
        if (r.missing) path = folder + "\\absent\\Korvane.dll";
        if (r.copyNoEntry) {
            path = folder + "\\Korvane.dll";
            ASSERT_TRUE(CopyFileA((programFolder() + "\\Korvane-noentry.dll").c_str(), path.c_str(), TRUE))
                << r.name;
        }
        PluginInstance instance;
        EXPECT_EQ(instance.open(path.c_str(), 44100.0f, 882), 0) << r.name;
        EXPECT_EQ(instance.effect, nullptr) << r.name;
        EXPECT_EQ(instance.module, nullptr) << r.name;
        EXPECT_EQ(instance.modulePath, nullptr) << r.name;
        EXPECT_FALSE(isLoaded(path)) << r.name;
        EXPECT_TRUE(demo.logged("dispatch").empty()) << r.name;
        removeFolder(folder);
    }
    PluginInstance instance;
    EXPECT_EQ(instance.open(nullptr, 44100.0f, 882), 0);
}

TEST(PluginInstanceDemo, FailedOpenStillClosesThePreviousPlugin) {
    DemoSetup demo;
    PluginInstance instance;
    std::string path = demoModulePath();
    ASSERT_EQ(instance.open(path.c_str(), 44100.0f, 882), 1);
    std::string folder = makeTempFolder();
    EXPECT_EQ(instance.open((folder + "\\Korvane.dll").c_str(), 44100.0f, 882), 0);
    EXPECT_EQ(demo.logged("dispatch").back(), "dispatch 1 0 0 0");
    EXPECT_FALSE(isLoaded(path));
    EXPECT_EQ(instance.effect, nullptr);
    removeFolder(folder);
}

}  // namespace
