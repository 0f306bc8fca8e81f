#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "midi/midi_ports.h"
#include "midi/midi_queue.h"
#include "midi/midi_system.h"

namespace {

// Stands in for winmm: records every call and hands out fixed handles.
struct FakeMidi {
    std::vector<std::string> calls;
    std::vector<DWORD> sent;  // midiOutShortMsg
    MMRESULT inOpenResult = MMSYSERR_NOERROR;
    MMRESULT inStartResult = MMSYSERR_NOERROR;
    MMRESULT outOpenResult = MMSYSERR_NOERROR;
    UINT inDevice = 0xFFFF, outDevice = 0xFFFF;
    DWORD_PTR inCallback = 0, inInstance = 0xDEAD, outCallback = 0xDEAD;
    DWORD inFlags = 0, outFlags = 0xFFFF;
    HMIDI connectedIn = nullptr;
    HMIDIOUT connectedOut = nullptr;
};

FakeMidi *gFake = nullptr;
HMIDIIN const kInHandle = (HMIDIIN)(UINT_PTR)0x1230;
HMIDIOUT const kOutHandle = (HMIDIOUT)(UINT_PTR)0x4560;

UINT WINAPI fakeInNum() { return 2; }
UINT WINAPI fakeOutNum() { return 3; }
MMRESULT WINAPI fakeInCaps(UINT_PTR, LPMIDIINCAPSA, UINT) { return MMSYSERR_NOERROR; }
MMRESULT WINAPI fakeOutCaps(UINT_PTR, LPMIDIOUTCAPSA, UINT) { return MMSYSERR_NOERROR; }
MMRESULT WINAPI fakeInOpen(LPHMIDIIN handle, UINT device, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    gFake->calls.push_back("midiInOpen");
    gFake->inDevice = device;
    gFake->inCallback = callback;
    gFake->inInstance = instance;
    gFake->inFlags = flags;
    if (gFake->inOpenResult != MMSYSERR_NOERROR) return gFake->inOpenResult;
    *handle = kInHandle;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI fakeInStart(HMIDIIN h) {
    gFake->calls.push_back(h == kInHandle ? "midiInStart" : "midiInStart(bad)");
    return gFake->inStartResult;
}
MMRESULT WINAPI fakeInStop(HMIDIIN h) {
    gFake->calls.push_back(h == kInHandle ? "midiInStop" : "midiInStop(bad)");
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI fakeInClose(HMIDIIN h) {
    gFake->calls.push_back(h == kInHandle ? "midiInClose" : "midiInClose(bad)");
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI fakeOutOpen(LPHMIDIOUT handle, UINT device, DWORD_PTR callback, DWORD_PTR, DWORD flags) {
    gFake->calls.push_back("midiOutOpen");
    gFake->outDevice = device;
    gFake->outCallback = callback;
    gFake->outFlags = flags;
    if (gFake->outOpenResult != MMSYSERR_NOERROR) return gFake->outOpenResult;
    *handle = kOutHandle;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI fakeOutShortMsg(HMIDIOUT h, DWORD message) {
    gFake->calls.push_back(h == kOutHandle ? "midiOutShortMsg" : "midiOutShortMsg(bad)");
    gFake->sent.push_back(message);
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI fakeOutClose(HMIDIOUT h) {
    gFake->calls.push_back(h == kOutHandle ? "midiOutClose" : "midiOutClose(bad)");
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI fakeConnect(HMIDI in, HMIDIOUT out, LPVOID) {
    gFake->calls.push_back("midiConnect");
    gFake->connectedIn = in;
    gFake->connectedOut = out;
    return MMSYSERR_NOERROR;
}

MidiSystem fakeMidiSystem() {
    MidiSystem s;
    s.midiInGetNumDevs = fakeInNum;
    s.midiOutGetNumDevs = fakeOutNum;
    s.midiInGetDevCapsA = fakeInCaps;
    s.midiOutGetDevCapsA = fakeOutCaps;
    s.midiInOpen = fakeInOpen;
    s.midiInStart = fakeInStart;
    s.midiInStop = fakeInStop;
    s.midiInClose = fakeInClose;
    s.midiOutOpen = fakeOutOpen;
    s.midiOutShortMsg = fakeOutShortMsg;
    s.midiOutClose = fakeOutClose;
    s.midiConnect = fakeConnect;
    return s;
}

std::vector<uint32_t> queued() {
    return std::vector<uint32_t>(gMidiQueue.messages, gMidiQueue.messages + gMidiQueue.count);
}

class MidiPorts : public ::testing::Test {
protected:
    void SetUp() override {
        gFake = &fake;
        gMidiSystem = fakeMidiSystem();
        gMidiInIndex = -1;
        gMidiOutIndex = -1;
        gMidiInHandle = nullptr;
        gMidiOutHandle = nullptr;
        initMidi();
    }
    void TearDown() override {
        closeMidiPorts();
        gMidiSystem = winmmMidiSystem();
        gFake = nullptr;
        gMidiQueue.count = 0;
    }
    // Opens the ports with the given indexes and forgets the calls made so far.
    void openPorts(int in, int out) {
        gMidiInIndex = in;
        gMidiOutIndex = out;
        openMidiPorts();
    }
    // Delivers one callback as the system's MIDI thread would.
    void deliver(UINT message, DWORD_PTR param1) {
        ASSERT_NE(fake.inCallback, 0u);
        auto callback = reinterpret_cast<decltype(&midiInputCallback)>(fake.inCallback);
        callback(kInHandle, message, fake.inInstance, param1, 12345);
    }
    FakeMidi fake;
};

TEST_F(MidiPorts, OpeningBothPortsStartsInputAndConnectsThru) {
    openPorts(1, 2);
    std::vector<std::string> expected = {"midiInOpen", "midiInStart", "midiOutOpen", "midiConnect"};
    EXPECT_EQ(fake.calls, expected);
    EXPECT_EQ(fake.inDevice, 1u);
    EXPECT_EQ(fake.inCallback, (DWORD_PTR)&midiInputCallback);
    EXPECT_EQ(fake.inInstance, 0u);
    EXPECT_EQ(fake.inFlags, (DWORD)CALLBACK_FUNCTION);
    EXPECT_EQ(fake.outDevice, 2u);
    EXPECT_EQ(fake.outFlags, (DWORD)CALLBACK_NULL);
    EXPECT_EQ(fake.connectedIn, (HMIDI)kInHandle);
    EXPECT_EQ(fake.connectedOut, kOutHandle);
    EXPECT_EQ(gMidiInHandle, kInHandle);
    EXPECT_EQ(gMidiOutHandle, kOutHandle);
}

TEST_F(MidiPorts, PortFailuresLeaveThatPortClosedAndNoThru) {
    struct Case {
        const char *name;
        int in, out;
        MMRESULT inOpen, inStart, outOpen;
        std::vector<std::string> calls;
        bool inOpen_, outOpen_;
    };
    const MMRESULT ok = MMSYSERR_NOERROR, bad = MMSYSERR_BADDEVICEID;
    std::vector<Case> cases = {
        {"output alone", -1, 2, ok, ok, ok, {"midiOutOpen"}, false, true},
        {"input alone", 0, -1, ok, ok, ok, {"midiInOpen", "midiInStart"}, true, false},
        {"neither", -1, -1, ok, ok, ok, {}, false, false},
        {"negative index other than -1 counts as none", -5, -2, ok, ok, ok, {}, false, false},
        {"input open fails", 0, 1, bad, ok, ok, {"midiInOpen", "midiOutOpen"}, false, true},
        {"input start fails", 0, 1, ok, MMSYSERR_ERROR, ok,
         {"midiInOpen", "midiInStart", "midiInClose", "midiOutOpen"}, false, true},
        {"output open fails", 0, 1, ok, ok, bad, {"midiInOpen", "midiInStart", "midiOutOpen"}, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fake = FakeMidi();
        fake.inOpenResult = c.inOpen;
        fake.inStartResult = c.inStart;
        fake.outOpenResult = c.outOpen;
        openPorts(c.in, c.out);
        EXPECT_EQ(fake.calls, c.calls);
        EXPECT_EQ(gMidiInHandle != nullptr, c.inOpen_);
        EXPECT_EQ(gMidiOutHandle != nullptr, c.outOpen_);
        closeMidiPorts();
    }
}

TEST_F(MidiPorts, CloseStopsAndClosesBothOnceAndReopenClosesFirst) {
    openPorts(0, 0);
    fake.calls.clear();
    openMidiPorts();
    std::vector<std::string> reopen = {"midiInStop",  "midiInClose", "midiOutClose", "midiInOpen",
                                       "midiInStart", "midiOutOpen", "midiConnect"};
    EXPECT_EQ(fake.calls, reopen);

    fake.calls.clear();
    closeMidiPorts();
    closeMidiPorts();
    std::vector<std::string> close = {"midiInStop", "midiInClose", "midiOutClose"};
    EXPECT_EQ(fake.calls, close);
    EXPECT_EQ(gMidiInHandle, nullptr);
    EXPECT_EQ(gMidiOutHandle, nullptr);
}

TEST_F(MidiPorts, InputCallbackPassesChannelMessagesOnly) {
    openPorts(0, -1);
    struct Case {
        DWORD_PTR message;
        bool passes;
    };
    const Case cases[] = {
        {0x00643C90, true},   // note on, channel 1
        {0x00003C85, true},   // note off, channel 6
        {0x004020A4, true},   // poly pressure
        {0x00400AB2, true},   // control change 10
        {0x00007AB0, true},   // control change 122 (local control) is not all notes off
        {0x000005C3, true},   // program change 6, channel 4
        {0x000040D9, true},   // channel pressure, channel 10
        {0x00402EE3, true},   // pitch bend, channel 4
        {0x00007BB0, false},  // all notes off, channel 1
        {0x00007BBF, false},  // all notes off, channel 16
        {0x00F8, false},      // timing clock
        {0x00FE, false},      // active sensing
        {0x00F0, false},      // system exclusive status
        {0x00102F2, false},   // song position
        {0x0040, false},      // a data byte without status
    };
    std::vector<uint32_t> expected;
    for (const Case &c : cases) {
        deliver(MIM_DATA, c.message);
        if (c.passes) expected.push_back((uint32_t)c.message);
        EXPECT_EQ(passesMidiInputFilter((uint32_t)c.message), c.passes) << std::hex << c.message;
    }
    EXPECT_EQ(queued(), expected);
}

TEST_F(MidiPorts, InputCallbackIgnoresEverythingButData) {
    openPorts(0, -1);
    for (UINT message : {(UINT)MIM_OPEN, (UINT)MIM_CLOSE, (UINT)MIM_LONGDATA, (UINT)MIM_ERROR,
                         (UINT)MIM_LONGERROR, (UINT)MIM_MOREDATA}) {
        deliver(message, 0x00643C90);
    }
    EXPECT_EQ(gMidiQueue.count, 0);
}

TEST_F(MidiPorts, KeyNoteTableHoldsThe37Keys) {
    struct Key {
        int scanCode, offset;
    };
    const Key keys[] = {
        {44, 0},  {31, 1},  {45, 2},  {32, 3},  {46, 4},  {47, 5},  {34, 6},  {48, 7},  {35, 8},  {49, 9},
        {36, 10}, {50, 11}, {51, 12}, {38, 13}, {52, 14}, {39, 15}, {53, 16}, {16, 12}, {3, 13},  {17, 14},
        {4, 15},  {18, 16}, {19, 17}, {6, 18},  {20, 19}, {7, 20},  {21, 21}, {8, 22},  {22, 23}, {23, 24},
        {10, 25}, {24, 26}, {11, 27}, {25, 28}, {26, 29}, {13, 30}, {27, 31},
    };
    int32_t table[kKeyNoteTableSize];
    memset(table, 0x55, sizeof(table));
    initKeyNoteTable(table);
    int32_t expected[kKeyNoteTableSize];
    for (int32_t &e : expected) e = -1;
    for (const Key &k : keys) expected[k.scanCode] = k.offset;
    for (int i = 0; i < kKeyNoteTableSize; ++i) EXPECT_EQ(table[i], expected[i]) << "scan code " << i;

    EXPECT_EQ(keyNoteMessage(table, 44, true), 0x00643090u);   // Z: note 48 on
    EXPECT_EQ(keyNoteMessage(table, 16, true), 0x00643C90u);   // Q: note 60 on
    EXPECT_EQ(keyNoteMessage(table, 27, false), 0x00644F80u);  // ]: note 79 off, velocity 100
    for (int scanCode : {30, 33, 0, 255, -1, 256, 100000}) EXPECT_EQ(keyNoteMessage(table, scanCode, true), 0u);
}

TEST_F(MidiPorts, HeldKeyPlaysOneNoteAndReleaseSendsVelocity100) {
    openPorts(-1, 4);
    keyDown(44, 0);
    for (int i = 0; i < 5; ++i) keyDown(44, 1);  // keyboard repeat
    keyUp(44);
    std::vector<uint32_t> expected = {0x00643090, 0x00643080};
    EXPECT_EQ(queued(), expected);
    EXPECT_EQ(std::vector<uint32_t>(fake.sent.begin(), fake.sent.end()), expected);
}

TEST_F(MidiPorts, FocusLossEndsHeldNotesOnceAndUnseenKeysStartNothing) {
    openPorts(-1, 4);
    keyDown(44, 0);  // Z, note 48
    keyDown(16, 0);  // Q, note 60
    keyDown(51, 0);  // comma, note 60 as well
    keyUp(16);
    releaseHeldKeys();  // Z and comma still down
    releaseHeldKeys();  // nothing left to end
    // Focus back with Z still down: its repeats and its key-up belong to a note already ended.
    keyDown(44, 1);
    keyUp(44);
    keyUp(51);
    keyUp(45);  // X went down while another window had the keys
    std::vector<uint32_t> expected = {0x00643090, 0x00643C90, 0x00643C90, 0x00643C80, 0x00643080, 0x00643C80};
    EXPECT_EQ(queued(), expected);
    EXPECT_EQ(std::vector<uint32_t>(fake.sent.begin(), fake.sent.end()), expected);
    // A new press plays again.
    keyDown(44, 0);
    keyUp(44);
    EXPECT_EQ(gMidiQueue.count, 8);
}

TEST_F(MidiPorts, KeysWithoutNoteDoNothing) {
    openPorts(-1, 4);
    for (int scanCode : {30, 33, 1, 57, -1, 256}) {
        keyDown(scanCode, 0);
        keyUp(scanCode);
    }
    EXPECT_EQ(gMidiQueue.count, 0);
    EXPECT_TRUE(fake.sent.empty());
}

TEST_F(MidiPorts, KeyNotesReachThePluginWithOutputClosed) {
    fake.outOpenResult = MMSYSERR_ALLOCATED;
    openPorts(-1, 1);
    ASSERT_EQ(gMidiOutHandle, nullptr);
    keyDown(16, 0);
    keyUp(16);
    std::vector<uint32_t> expected = {0x00643C90, 0x00643C80};
    EXPECT_EQ(queued(), expected);
    EXPECT_TRUE(fake.sent.empty());
}

TEST_F(MidiPorts, AllNotesOffGoesToTheQueueInChannelOrderOnly) {
    openPorts(0, 0);
    allNotesOff();
    std::vector<uint32_t> expected;
    for (uint32_t m = 0x7BB0; m <= 0x7BBF; ++m) expected.push_back(m);
    EXPECT_EQ(queued(), expected);
    EXPECT_TRUE(fake.sent.empty());
}

TEST(MidiQueue, PushBeyond256DropsTheNewestAndStaysInside) {
    struct Guarded {
        uint32_t before[8];
        MidiQueue queue;
        uint32_t after[8];
    };
    static Guarded g;
    memset(&g, 0xA5, sizeof(g));
    g.queue.count = 0;
    for (uint32_t i = 0; i < 300; ++i) {
        bool stored = g.queue.push(0x90 | (i << 8));
        EXPECT_EQ(stored, i < 256u) << i;
    }
    EXPECT_EQ(g.queue.count, 256);
    for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(g.queue.messages[i], 0x90 | (i << 8));
    for (uint32_t w : g.before) EXPECT_EQ(w, 0xA5A5A5A5u);
    for (uint32_t w : g.after) EXPECT_EQ(w, 0xA5A5A5A5u);

    static PluginEventBlock block;
    prepareEventBlock(block);
    EXPECT_EQ(drainMidiQueue(g.queue, block), 256);
    EXPECT_EQ(g.queue.count, 0);
    EXPECT_TRUE(g.queue.push(0x80));
    EXPECT_EQ(g.queue.count, 1);
}

TEST(MidiQueue, DrainCountOutOfRangeIsBounded) {
    static MidiQueue queue;
    static PluginEventBlock block;
    prepareEventBlock(block);
    for (LONG count : {-3L, 100000L}) {
        queue.count = count;
        int handed = drainMidiQueue(queue, block);
        EXPECT_GE(handed, 0);
        EXPECT_LE(handed, kMidiQueueSize);
        EXPECT_EQ(block.numEvents, handed);
        EXPECT_EQ(queue.count, 0);
    }
}

TEST(MidiQueue, EventBlockIsPreparedAndDrainChangesOnlyMidiData) {
    static MidiQueue queue;
    static PluginEventBlock block;
    memset(&block, 0x77, sizeof(block));
    prepareEventBlock(block);
    EXPECT_EQ(block.numEvents, 0);
    EXPECT_EQ(block.reserved, 0);
    queue.count = 0;
    queue.push(0x00402EE3);
    queue.push(0xFF643C90);  // stray high byte: the fourth data byte handed over is still 0
    EXPECT_EQ(drainMidiQueue(queue, block), 2);
    EXPECT_EQ(block.numEvents, 2);
    for (int i = 0; i < kMidiQueueSize; ++i) {
        const VstMidiEvent &e = block.records[i];
        EXPECT_EQ(block.events[i], reinterpret_cast<const VstEvent *>(&e));
        EXPECT_EQ(e.type, kVstMidiType);
        EXPECT_EQ(e.byteSize, 24);
        EXPECT_EQ(e.deltaFrames, 0);
        EXPECT_EQ(e.flags, 0);
        EXPECT_EQ(e.noteLength, 0);
        EXPECT_EQ(e.noteOffset, 0);
        EXPECT_EQ(e.detune, 0);
        EXPECT_EQ(e.noteOffVelocity, 0);
        EXPECT_EQ(e.reserved1, 0);
        EXPECT_EQ(e.reserved2, 0);
    }
    const unsigned char first[4] = {0xE3, 0x2E, 0x40, 0};
    const unsigned char second[4] = {0x90, 0x3C, 0x64, 0};
    EXPECT_EQ(memcmp(block.records[0].midiData, first, 4), 0);
    EXPECT_EQ(memcmp(block.records[1].midiData, second, 4), 0);
    const unsigned char untouched[4] = {0, 0, 0, 0};
    EXPECT_EQ(memcmp(block.records[2].midiData, untouched, 4), 0);
}

// Producers that wait for one another, so that their pushes overlap once the last has
// started; together they fill the queue exactly. A round lasts microseconds and two
// producers share a processor only now and then: forty rounds.
const int kProducers = 4, kPushesEach = kMidiQueueSize / kProducers, kRounds = 40;
volatile LONG gProducersReady = 0;

DWORD WINAPI pushMany(LPVOID param) {
    uint32_t channel = (uint32_t)(UINT_PTR)param;
    InterlockedIncrement(&gProducersReady);
    while (gProducersReady < kProducers) YieldProcessor();
    for (uint32_t i = 0; i < (uint32_t)kPushesEach; ++i) gMidiQueue.push(0x90 | channel | (i << 8));
    return 0;
}

TEST(MidiQueue, ConcurrentProducersLoseNothing) {
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        gMidiQueue.count = 0;
        gProducersReady = 0;
        HANDLE threads[kProducers];
        for (int t = 0; t < kProducers; ++t)
            threads[t] = CreateThread(nullptr, 0, pushMany, (LPVOID)(UINT_PTR)t, 0, nullptr);
        ASSERT_EQ(WaitForMultipleObjects(kProducers, threads, TRUE, 30000), WAIT_OBJECT_0);
        for (HANDLE h : threads) CloseHandle(h);
        ASSERT_EQ(gMidiQueue.count, kProducers * kPushesEach);
        // Each producer's messages keep their order.
        uint32_t next[kProducers] = {};
        for (int k = 0; k < kProducers * kPushesEach; ++k) {
            uint32_t m = gMidiQueue.messages[k];
            uint32_t channel = m & 0x0F;
            ASSERT_LT(channel, (uint32_t)kProducers);
            ASSERT_EQ(m >> 8, next[channel]++);
        }
    }
    gMidiQueue.count = 0;
}

}  // namespace
