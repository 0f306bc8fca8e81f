// How an export shares its takes among instances: how many, the probe's verdict and
// the turns that bring finished takes to the files in the plan's order.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "export/render/take_turns.h"

namespace {

const size_t kMiB = 1u << 20;

TEST(ExportInstanceCount, OnePerProcessorWithinTheTakesTheCapAndTheMemory) {
    struct Case {
        bool automatic;
        int processors, takes;
        size_t takeBytes, budget;
        int expected;
    } cases[] = {
        {false, 8, 100, kMiB, 62 * kMiB, 1},      // Instances: 1
        {true, 2, 128, kMiB, 62 * kMiB, 2},       // one per processor
        {true, 1, 128, kMiB, 62 * kMiB, 1},
        {true, 16, 128, kMiB, 62 * kMiB, 8},      // at most eight
        {true, 4, 3, kMiB, 62 * kMiB, 3},         // no more than the takes
        {true, 4, 0, kMiB, 62 * kMiB, 1},
        {true, 8, 128, 8 * kMiB, 62 * kMiB, 2},   // three buffers of 8 MiB each: two fit 62 MiB
        {true, 8, 128, 20 * kMiB, 62 * kMiB, 1},  // one fits, barely
        {true, 8, 128, 30 * kMiB, 62 * kMiB, 8},  // beyond memory: through files, not limited
        {true, 8, 128, 0, 62 * kMiB, 8},          // through the files from the start
        {true, 0, 128, kMiB, 62 * kMiB, 1},       // no processor count known
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, exportInstanceCount(c.automatic, c.processors, c.takes, c.takeBytes, c.budget))
            << c.processors << " processors, " << c.takes << " takes of " << c.takeBytes << " bytes";
}

TEST(ExportInstanceCount, AnInstrumentCheaperThanItsFilesStaysOnOneInstance) {
    struct Case {
        double nsPerFrame;
        bool shared;
    } cases[] = {{0.0, false}, {2.5, false}, {9.9, false}, {10.0, true}, {40.0, true}, {600.0, true}};
    for (const Case &c : cases) EXPECT_EQ(c.shared, worthSharing(c.nsPerFrame)) << c.nsPerFrame << " ns a frame";
}

// Sines of this frequency (cycles per frame), phase and level on both channels.
std::vector<float> sine(double cycles, double phase, float level, size_t frames) {
    std::vector<float> s(frames);
    for (size_t i = 0; i < frames; ++i) s[i] = level * (float)std::sin(2 * M_PI * (cycles * i + phase));
    return s;
}

TEST(ProbeVerdict, AnotherInstanceIsFaithfulWithinTheInstrumentsOwnVariation) {
    const size_t n = 4800;
    const double f = 440.0 / 48000;
    struct Case {
        const char *what;
        std::vector<float> first, second, other;
        bool faithful;
    } cases[] = {
        {"bit for bit the same", sine(f, 0, 0.25f, n), sine(f, 0, 0.25f, n), sine(f, 0, 0.25f, n), true},
        {"rounding apart", sine(f, 0, 0.25f, n), sine(f, 0, 0.25f, n), sine(f, 0, 0.25f + 1e-7f, n), true},
        {"sharp at another rate", sine(f, 0, 0.25f, n), sine(f, 0, 0.25f, n), sine(f * 2.18, 0, 0.25f, n), false},
        {"quieter: its sound not given", sine(f, 0, 0.25f, n), sine(f, 0, 0.25f, n), sine(f, 0, 0.125f, n), false},
        {"silent", sine(f, 0, 0.25f, n), sine(f, 0, 0.25f, n), std::vector<float>(n, 0.0f), false},
        {"a varying instrument: phases apart", sine(f, 0, 0.25f, n), sine(f, 0.3, 0.25f, n), sine(f, 0.6, 0.25f, n),
         true},
        {"a varying instrument, detuned within its range", sine(f, 0, 0.25f, n), sine(f * 1.004, 0.2, 0.25f, n),
         sine(f * 0.997, 0.5, 0.25f, n), true},
        {"varies a little, the other far off", sine(f, 0, 0.25f, n), sine(f, 0.01, 0.25f, n),
         sine(f * 1.5, 0, 0.25f, n), false},
    };
    for (Case &c : cases) {
        ProbeTakes takes = {{c.first.data(), c.first.data()},
                            {c.second.data(), c.second.data()},
                            {c.other.data(), c.other.data()},
                            n};
        EXPECT_EQ(c.faithful, probeFaithful(takes)) << c.what;
    }
}

// Instances stepped in a given order: each claims a group, renders its takes one at a
// time and hands each at its turn; the files must see the plan's order whatever the
// order the instances finish in, with each group on one instance and no more takes
// waiting than instances.
struct Instance {
    int first = -1, count = 0, at = 0;  // its group and the take it is on
    bool done = false;                  // rendered, waiting for its turn
    bool finished = false;              // nothing left to claim
};

TEST(TakeTurns, FinishedTakesReachTheFilesInThePlansOrderWhoeverFinishesFirst) {
    struct Case {
        int instances, takes, group;
        std::vector<int> steps;  // which instance acts next, repeated until every take is handed
    } cases[] = {
        {2, 6, 1, {0, 1}},
        {2, 6, 1, {1, 1, 1, 0}},           // the second races ahead and has to wait
        {3, 10, 1, {2, 2, 1, 0, 0, 0, 1}},
        {4, 9, 3, {3, 2, 1, 0}},           // groups of three variations, the last claimant first
        {2, 7, 2, {1, 0, 0, 0, 1}},        // a short last group
        {8, 5, 1, {7, 6, 5, 4, 3, 2, 1, 0}},  // more instances than takes
        {1, 4, 2, {0}},
    };
    for (const Case &c : cases) {
        TakeTurns turns = takeTurns(c.takes, c.group);
        std::vector<Instance> inst(c.instances);
        std::vector<int> handed, handedBy(c.takes, -1), claimedBy(c.takes, -1);
        int maxWaiting = 0;
        for (size_t s = 0; handed.size() < (size_t)c.takes && s < 10000; ++s) {
            Instance &i = inst[c.steps[s % c.steps.size()]];
            const int who = (int)(&i - inst.data());
            if (i.finished) continue;
            if (i.first < 0 || i.at == i.first + i.count) {
                i.first = claimTakes(turns, &i.count);
                i.at = i.first;
                i.finished = i.first < 0;
                for (int t = i.first; t >= 0 && t < i.first + i.count; ++t) claimedBy[t] = who;
            } else if (!i.done) {
                i.done = true;  // rendered
            } else if (takesTurn(turns, i.at)) {
                handed.push_back(i.at);
                handedBy[i.at] = who;
                takeHanded(turns);
                i.done = false;
                i.at++;
            }
            int waiting = 0;
            for (const Instance &j : inst) waiting += j.done ? 1 : 0;
            if (waiting > maxWaiting) maxWaiting = waiting;
        }
        std::vector<int> planOrder(c.takes);
        for (int t = 0; t < c.takes; ++t) planOrder[t] = t;
        EXPECT_EQ(planOrder, handed) << c.instances << " instances, " << c.takes << " takes";
        EXPECT_EQ(claimedBy, handedBy) << "each take handed by the instance that claimed it";
        for (int t = 0; t < c.takes; ++t)
            EXPECT_EQ(handedBy[t - t % c.group], handedBy[t]) << "take " << t << " left its group's instance";
        EXPECT_LE(maxWaiting, c.instances);
        EXPECT_EQ(c.takes, turns.handed);
        int none = 0;
        EXPECT_EQ(-1, claimTakes(turns, &none));
        EXPECT_EQ(0, none);
    }
}

TEST(TakeTurns, AfterAStopNothingIsClaimedAndNoTakeHasItsTurn) {
    TakeTurns turns = takeTurns(8, 2);
    int count = 0;
    EXPECT_EQ(0, claimTakes(turns, &count));
    EXPECT_EQ(2, count);
    EXPECT_EQ(2, claimTakes(turns, &count));
    EXPECT_TRUE(takesTurn(turns, 0));
    EXPECT_FALSE(takesTurn(turns, 2)) << "not before take 0 and 1 are handed";
    takeHanded(turns);
    EXPECT_TRUE(takesTurn(turns, 1));
    turns.stopped = true;
    EXPECT_FALSE(takesTurn(turns, 1));
    EXPECT_EQ(-1, claimTakes(turns, &count));
    EXPECT_EQ(0, count);
}

}  // namespace
