#include "core/gate.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const DWORD kGenerous = 30000;  // ms; only reached when something is broken

TEST(Gate, ClosesNestAndNeedAsManyOpens) {
    Gate gate = {1, 1};
    gate.close();
    gate.close();
    gate.open();
    EXPECT_FALSE(gate.tryEnter());
    EXPECT_EQ(gate.level, 0);
    EXPECT_EQ(gate.counter, 0);
    gate.open();
    ASSERT_TRUE(gate.tryEnter());
    EXPECT_FALSE(gate.tryEnter()) << "a second holder was let in";
    gate.leave();
    EXPECT_EQ(gate.level, 1);
    EXPECT_EQ(gate.counter, 1);
}

TEST(Gate, FailedTryEnterLeavesCountersAsTheyWere) {
    const struct {
        int closes;
        bool holderInside;
    } cases[] = {{1, false}, {2, false}, {0, true}};
    for (const auto &c : cases) {
        Gate gate = {1, 1};
        if (c.holderInside) {
            ASSERT_TRUE(gate.tryEnter());
        }
        for (int i = 0; i < c.closes; ++i) gate.close();
        const LONG level = gate.level, counter = gate.counter;
        EXPECT_FALSE(gate.tryEnter());
        EXPECT_EQ(gate.level, level);
        EXPECT_EQ(gate.counter, counter);
    }
}

struct HolderState {
    Gate *gate;
    HANDLE entered;
    HANDLE closeReturned;
    volatile LONG closeReturnedWhileInside;
};

DWORD WINAPI holder(void *arg) {
    HolderState *s = static_cast<HolderState *>(arg);
    s->gate->enter();
    SetEvent(s->entered);
    // Wait until the closer has started (the level drops when close begins).
    for (DWORD start = GetTickCount(); s->gate->level != 0 && GetTickCount() - start < kGenerous;) SwitchToThread();
    // A close that did not wait for us would signal now.
    if (WaitForSingleObject(s->closeReturned, 200) == WAIT_OBJECT_0) s->closeReturnedWhileInside = 1;
    s->gate->leave();
    return 0;
}

DWORD WINAPI closer(void *arg) {
    HolderState *s = static_cast<HolderState *>(arg);
    s->gate->close();
    SetEvent(s->closeReturned);
    return 0;
}

TEST(Gate, CloseReturnsOnlyAfterTheHolderLeft) {
    Gate gate = {1, 1};
    HolderState s = {&gate, CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr), 0};
    HANDLE h = CreateThread(nullptr, 0, holder, &s, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(s.entered, kGenerous), WAIT_OBJECT_0);
    HANDLE c = CreateThread(nullptr, 0, closer, &s, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, kGenerous), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(c, kGenerous), WAIT_OBJECT_0);
    EXPECT_EQ(s.closeReturnedWhileInside, 0);
    EXPECT_EQ(gate.level, 0);
    EXPECT_EQ(gate.counter, 0);
    EXPECT_FALSE(gate.tryEnter());
    gate.open();
    EXPECT_TRUE(gate.tryEnter());
    CloseHandle(h);
    CloseHandle(c);
    CloseHandle(s.entered);
    CloseHandle(s.closeReturned);
}

struct Contender {
    Gate *lock;
    HANDLE go;
    volatile LONG *inside;
    volatile LONG *overlaps;
    long *total;  // changed only under the lock
    int rounds;
};

DWORD WINAPI contend(void *arg) {
    Contender *c = static_cast<Contender *>(arg);
    WaitForSingleObject(c->go, INFINITE);
    for (int i = 0; i < c->rounds; ++i) {
        c->lock->enter();
        if (InterlockedIncrement(c->inside) != 1) InterlockedIncrement(c->overlaps);
        long t = *c->total;
        SwitchToThread();  // widen the window a careless lock would let another thread into
        *c->total = t + 1;
        InterlockedDecrement(c->inside);
        c->lock->leave();
    }
    return 0;
}

TEST(Gate, TwoThreadsContendingForTheSpinLockBothGetIt) {
    Gate lock = {1, 1};
    volatile LONG inside = 0, overlaps = 0;
    long total = 0;
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Contender a = {&lock, go, &inside, &overlaps, &total, 300};
    Contender b = a;
    HANDLE threads[2] = {CreateThread(nullptr, 0, contend, &a, 0, nullptr),
                         CreateThread(nullptr, 0, contend, &b, 0, nullptr)};
    SetEvent(go);
    ASSERT_EQ(WaitForMultipleObjects(2, threads, TRUE, 120000), WAIT_OBJECT_0) << "a contender never got the lock";
    EXPECT_EQ(total, 600);
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(lock.counter, 1);
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);
    CloseHandle(go);
}

TEST(Gate, ClosingTheEngineGateAlsoClosesTheCaptureLock) {
    closeEngineGate();
    EXPECT_FALSE(gEngineGate.tryEnter());
    EXPECT_FALSE(gCaptureLock.tryEnter());
    openEngineGate();
    ASSERT_TRUE(gCaptureLock.tryEnter());
    gCaptureLock.leave();
    ASSERT_TRUE(gEngineGate.tryEnter());
    gEngineGate.leave();
}

}  // namespace
