// Loop search, crossfade and tail trim on made signals, and the velocity layers.
#include "export/render/take_shaping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "export/formats/dspreset_text.h"
#include "export/formats/sfz_text.h"
#include "export/render/take_pitch.h"
#include "export/takes/velocity_layers.h"

namespace {

const int kRate = 44100;
const double kPi = 3.14159265358979323846;

// Two seconds held at key 60 with a 5 ms attack, then a 0.5 s release to silence.
std::vector<float> madeTake(int kind) {
    const double f = 440.0 * std::pow(2.0, (60 - 69) / 12.0);
    std::vector<float> x(kRate * 5 / 2);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.25f, 0.25f);
    double phase = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        double t = (double)i / kRate;
        double level = std::fmin(1.0, t / 0.005) * (t < 2.0 ? 1.0 : std::fmax(0.0, 1.0 - (t - 2.0) / 0.5));
        double vibrato = kind == 1 ? 1.0 + 0.005 * std::sin(2 * kPi * 5.5 * t) : 1.0;
        phase += 2 * kPi * f * vibrato / kRate;
        if (kind == 3) level *= std::exp(-3.0 * t);  // a plucked, decaying sound
        if (kind == 4) level *= std::pow(10.0, -2.5 * t / 20.0);  // a sustain falling 2.5 dB a second
        x[i] = kind == 2 ? (float)level * noise(random) : (float)(0.25 * level * std::sin(phase));
    }
    return x;
}

TEST(TakeShaping, ALoopIsFoundInSteadySoundsOnlyAndItsJoinIsSeamless) {
    struct Case {
        const char *name;
        int kind;
        bool looped;
    } cases[] = {{"sine", 0, true},     {"sine with vibrato", 1, true},
                 {"noise", 2, false},   {"decaying", 3, false},
                 {"a sustain fading slowly", 4, true}};
    const uint32_t heldTo = 2 * kRate;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> x = madeTake(c.kind);
        double period = keyPeriod(60, kRate);
        SustainLoop loop = findSustainLoop(x.data(), (uint32_t)x.size(), kRate / 100, heldTo, period, kRate);
        ASSERT_EQ(c.looped, loop.found) << "join error " << loop.error;
        if (!loop.found) continue;
        EXPECT_LE(loop.end, heldTo);
        EXPECT_GE(loop.end - loop.start, (uint32_t)(4 * period));
        // A steady sound loops as it is; a fading one with its end raised to its start's level.
        if (c.kind == 4)
            EXPECT_NEAR(std::pow(10.0, 2.5 * (loop.end - loop.start) / kRate / 20.0), loop.gain, 0.002);
        else
            EXPECT_NEAR(1.0f, loop.gain, 0.001f);
        if (c.kind == 0) {
            // A whole number of periods, to within the frames either side.
            double periods = (loop.end - loop.start) / period;
            EXPECT_NEAR(periods, std::round(periods), 2.0 / period);
        }
        // After the crossfade, the step from end - 1 back to start is no larger than
        // the sound's own steps from one point to the next.
        std::vector<float> before = x;
        writeLoopCrossfade(x.data(), (uint32_t)x.size(), loop, crossfadeFrames(loop, kRate));
        float largestStep = 0.0f;
        for (uint32_t i = loop.start; i + 1 < loop.end; ++i)
            largestStep = std::fmax(largestStep, std::fabs(x[i + 1] - x[i]));
        EXPECT_LE(std::fabs(x[loop.start] - x[loop.end - 1]), largestStep * 1.05f);
        // The guard frames on both sides of the end repeat those around the start, and a
        // note let go plays on from the loop into the take without a larger step.
        for (int k = -(int)kLoopGuardFrames; k < (int)kLoopGuardFrames; ++k)
            EXPECT_EQ(x[loop.start + k], x[loop.end + k]) << k;
        for (uint32_t i = loop.end - 1; i < loop.end + 2 * crossfadeFrames(loop, kRate); ++i)
            ASSERT_LE(std::fabs(x[i + 1] - x[i]), largestStep * 1.05f) << i - loop.end;
        EXPECT_EQ(before[loop.end + kLoopGuardFrames + crossfadeFrames(loop, kRate) + 1],
                  x[loop.end + kLoopGuardFrames + crossfadeFrames(loop, kRate) + 1])
            << "the take's own frames once the blend is over";
    }
}

// A crossfade keeps the level across it: a tone's regions, which move together, blend
// linearly as ever; noise's, which do not, with equal power, where a linear blend would
// dip by 3 dB in its middle.
// A chord loops at the period its keys share: the lowest key's for its harmonics, a
// whole number of it for keys in a simple ratio, within the room of the held part; none
// for tempered thirds.
TEST(ChordPeriod, TheShortestPeriodEveryKeyOfTheChordFitsWholeTimes) {
    const uint32_t held = (uint32_t)(kRate * 3 / 2);  // of a chord held 2 s
    struct Row {
        std::vector<uint8_t> keys;
        uint32_t heldFrames;
        int lowestPeriods;  // of the result; 0: none
    } rows[] = {
        {{60}, held, 1},            {{48, 60, 72}, held, 1},   {{60, 72, 79}, held, 1},  // harmonics
        {{60, 67}, held, 2},        {{67, 60}, held, 2},       {{60, 65}, held, 3},      // fifth, fourth
        {{60, 62}, held, 49},       {{60, 62}, kRate / 3, 0},  // a whole step: only in a long held part
        {{60, 64, 67}, held, 0},    {{60, 63, 67}, held, 0},   {{48, 55, 64}, held, 0},  // tempered thirds
    };
    for (const Row &r : rows) {
        const int lowest = *std::min_element(r.keys.begin(), r.keys.end());
        EXPECT_NEAR(r.lowestPeriods * keyPeriod(lowest, kRate),
                    chordPeriod(r.keys.data(), (int)r.keys.size(), kRate, r.heldFrames), 1e-9)
            << "keys " << (int)r.keys[0] << ", " << r.keys.size() << " in all, held " << r.heldFrames;
    }
    EXPECT_EQ(0.0, chordPeriod(nullptr, 0, kRate, held));
}

// The sum of a held chord loops at its keys' common period; a tempered triad, which has
// none, gets no loop.
TEST(ChordPeriod, AHeldChordLoopsAtItsCommonPeriod) {
    struct Row {
        std::vector<uint8_t> keys;
        bool loops;
    } rows[] = {{{60, 67}, true}, {{48, 60, 72}, true}, {{60, 65}, true}, {{60, 64, 67}, false}};
    for (const Row &r : rows) {
        std::vector<float> sum(kRate * 5 / 2);
        for (size_t i = 0; i < sum.size(); ++i) {
            double t = (double)i / kRate, level = std::fmin(1.0, t / 0.005) * (t < 2.0 ? 1.0 : 0.0);
            for (uint8_t key : r.keys)
                sum[i] += (float)(0.2 * level * std::sin(2 * kPi * 440.0 * std::pow(2.0, (key - 69) / 12.0) * t));
        }
        uint32_t from, to;
        heldPart(kRate * 2, (int32_t)sum.size(), from, to);
        const double period = chordPeriod(r.keys.data(), (int)r.keys.size(), kRate, to - from);
        SustainLoop loop = findSustainLoop(sum.data(), to, from, to, period, kRate);
        EXPECT_EQ(r.loops, loop.found) << "keys from " << (int)r.keys[0] << ": join error " << loop.error;
    }
}

TEST(TakeShaping, ACrossfadeKeepsTheLevelOfATonesJoinAndOfANoisesJoin) {
    for (int kind : {0, 2}) {
        SCOPED_TRACE(kind ? "noise" : "sine");
        std::vector<float> x = madeTake(kind), before = madeTake(kind);
        const uint32_t periods = (uint32_t)std::lround(400 * keyPeriod(60, kRate));
        const SustainLoop loop = {true, kRate / 2, kRate / 2 + periods, 0.0f, 1.0f};
        const uint32_t fade = crossfadeFrames(loop, kRate);
        writeLoopCrossfade(x.data(), (uint32_t)x.size(), loop, fade);
        // The middle third of the fade, against the two regions' own level.
        double power = 0.0, own = 0.0, linear = 0.0;
        for (uint32_t j = fade / 3; j < 2 * fade / 3; ++j) {
            const uint32_t at = loop.end - fade + j;
            const double t = (double)(j + 1) / (fade - kLoopGuardFrames), mixed =
                before[at] * (1.0 - t) + before[loop.start - fade + j] * t;
            power += (double)x[at] * x[at];
            own += ((double)before[at] * before[at] + (double)before[loop.start - fade + j] * before[loop.start - fade + j]) / 2;
            linear += mixed * mixed;
            if (kind == 0) {
                ASSERT_NEAR(mixed, x[at], 1e-5) << "a tone blends linearly, as before";
            }
        }
        EXPECT_NEAR(0.0, 10.0 * std::log10(power / own), 1.0) << "the level through the fade";
        if (kind == 2) {
            EXPECT_LT(10.0 * std::log10(linear / own), -2.0) << "what a linear blend would give";
        }
    }
}

// Made signals at a known pitch near key 60: a clean tone within a cent, a saw's
// harmonics and a vibrato around the pitch; noise has none.
TEST(TakePitch, MeasuredWithinACentOrNotAtAll) {
    struct Case {
        const char *name;
        double cents;  // the signal's pitch above key 60
        int kind;      // 0 sine, 1 saw, 2 sine with vibrato, 3 noise
        bool found;
    } cases[] = {{"sine in tune", 0.0, 0, true},      {"sine 37 cents sharp", 37.0, 0, true},
                 {"sine 120 cents flat", -120.0, 0, true}, {"saw 12 cents flat", -12.0, 1, true},
                 {"vibrato around +5 cents", 5.0, 2, true}, {"noise", 0.0, 3, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const double f = 440.0 * std::pow(2.0, (60 - 69) / 12.0 + c.cents / 1200.0);
        std::vector<float> x(kRate * 2);
        std::mt19937 random(3);
        std::uniform_real_distribution<float> noise(-0.25f, 0.25f);
        double phase = 0.0;
        for (size_t i = 0; i < x.size(); ++i) {
            double vibrato = c.kind == 2 ? 1.0 + 0.006 * std::sin(2 * kPi * 5.5 * i / kRate) : 1.0;
            phase += f * vibrato / kRate;
            double cycle = phase - std::floor(phase);
            x[i] = c.kind == 3 ? noise(random)
                   : c.kind == 1 ? (float)(0.25 * (2.0 * cycle - 1.0))
                                 : (float)(0.25 * std::sin(2 * kPi * cycle));
        }
        MeasuredPitch pitch = measurePitch(x.data(), kRate / 4, kRate * 2, keyPeriod(60, kRate));
        ASSERT_EQ(c.found, pitch.found);
        if (!c.found) continue;
        EXPECT_NEAR(c.cents, pitch.cents, c.kind == 2 ? 1.0 : 0.2);
        EXPECT_EQ((int)std::lround(c.cents), tuningCents(pitch));
    }
}

TEST(TakeShaping, TheTailEndsAFewMillisecondsAfterItStaysBelowMinus80dB) {
    std::vector<float> left(kRate, 0.0f), right(kRate, 0.0f), third(kRate, 0.0f), fourth(kRate, 0.0f);
    for (int i = 0; i < 1000; ++i) left[i] = 0.5f;
    right[20000] = 2e-4f;  // one point above -80 dBFS, late in the other channel
    right[30000] = 5e-5f;  // below it
    third[25000] = -2e-4f;  // loud by its magnitude, later still
    third[26000] = 5e-5f;
    fourth[kRate - 1] = 2e-4f;  // the very last point
    const float *channels[] = {left.data(), right.data(), third.data(), fourth.data()};
    struct Case {
        int channels;
        uint32_t keep, expected;
    } cases[] = {{1, 0, 1000 + 220}, {2, 0, 20001 + 220}, {2, 40000, 40000}, {2, kRate * 2, kRate},
                 {3, 0, 25001 + 220}, {4, 0, kRate}};
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, trimmedFrames(channels, c.channels, kRate, c.keep, kRate)) << c.channels << " " << c.keep;
    std::vector<float> silent(100, 0.0f);
    const float *quiet[] = {silent.data()};
    EXPECT_EQ(100u, trimmedFrames(quiet, 1, 100, 0, kRate)) << "a silent take keeps its few milliseconds";

    fadeOutTail(left.data(), 1000, kRate);
    EXPECT_EQ(0.0f, left[999]);
    EXPECT_EQ(0.5f, left[1000 - 221]);
    EXPECT_LT(left[900], 0.5f);
}

TEST(VelocityLayers, LayersSplitTheVelocitiesBelowTheirOwn) {
    struct Case {
        int velocity, count;
        std::vector<int> expected;  // velocity, low, high of each layer
    } cases[] = {
        {100, 1, {100, 0, 127}},
        {127, 2, {64, 0, 64, 127, 65, 127}},
        {100, 4, {25, 0, 25, 50, 26, 50, 75, 51, 75, 100, 76, 127}},
        {3, 8, {1, 0, 1, 2, 2, 2, 3, 3, 127}},  // repeated and zero velocities are left out
        {0, 3, {0, 0, 127}},
        {64, 9, {8, 0, 8, 16, 9, 16, 24, 17, 24, 32, 25, 32, 40, 33, 40, 48, 41, 48, 56, 49, 56, 64, 57, 127}},
    };
    for (const Case &c : cases) {
        VelocityLayer layers[kMaxVelocityLayers];
        int n = velocityLayers(c.velocity, c.count, layers);
        std::vector<int> got;
        for (int i = 0; i < n; ++i) got.insert(got.end(), {layers[i].velocity, layers[i].low, layers[i].high});
        EXPECT_EQ(c.expected, got) << c.velocity << " x " << c.count;
    }
}

// Zones of two keys in three layers (tops 40, 80, 127): each layer falls from its top
// toward the level of the layer below at that layer's top, the softest as steeply as
// the one above it; a louder layer below, or a level not measured, leaves it flat.
TEST(VelocityLayers, EachLayerFallsTowardTheLevelOfTheLayerBelow) {
    struct Zone {
        uint8_t lowKey, highKey, lowVelocity, highVelocity;
        float levelDb, velocitySlopeDb;
    };
    const float nan = std::nanf("");
    Zone zones[] = {{0, 60, 0, 40, -20.0f, 9},  {0, 60, 41, 80, -12.0f, 9}, {0, 60, 81, 127, -6.0f, 9},
                    {0, 60, 81, 127, -3.0f, 9},  // a second variation: the first's level counts
                    {61, 127, 0, 40, -10.0f, 9}, {61, 127, 41, 80, -12.0f, 9}, {61, 127, 81, 127, nan, 9}};
    levelVelocityCurves(zones, 7);
    const float want[] = {8.0f / 40, 8.0f / 40, 6.0f / 47, 6.0f / 47, 0, 0, 0};
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(want[i], zones[i].velocitySlopeDb, 1e-6) << "zone " << i;
    Zone steep[] = {{0, 127, 0, 100, -200.0f, 0}, {0, 127, 101, 127, 0.0f, 0}};
    levelVelocityCurves(steep, 2);
    EXPECT_NEAR(kMaxLayerFallDb / 27, steep[1].velocitySlopeDb, 1e-5) << "a fall of at most 96 dB over a layer";
    EXPECT_NEAR(kMaxLayerFallDb / 100, steep[0].velocitySlopeDb, 1e-5);
    // Decent Sampler's tracking: the layer's bottom as far below its top as the curve says.
    const struct { int low, high; float slope, track, volumeDb; } groups[] = {
        {0, 64, 0.1f, 0.6837f, 3.598f}, {65, 127, 0.1f, 1.0f, 0.0f}, {41, 80, 0.0f, 0.0f, 0.0f}};
    for (const auto &g : groups) {
        DsGroupCurve curve = dsGroupCurve(g.low, g.high, g.slope);
        EXPECT_NEAR(g.track, curve.ampVelTrack, 1e-3) << g.low;
        EXPECT_NEAR(g.volumeDb, curve.volumeDb, 1e-2) << g.low;
    }
}

TEST(SfzText, RegionsCarryRangesLoopsAndNamesWithSpaces) {
    char line[512];
    SfzRegion plain = {"my take/kv_C3_v64.wav", 58, 61, 60, 0, 64, false, 0, 0, 0, 0, 0, -6.0f, false, 0.0f};
    ASSERT_GT(formatSfzRegion(line, sizeof line, plain), 0u);
    EXPECT_STREQ("<region> lokey=58 hikey=61 pitch_keycenter=60 lovel=0 hivel=64 sample=my take/kv_C3_v64.wav\n", line);
    SfzRegion looped = {"a.wav", 0, 127, 60, 65, 127, true, 1000, 45100, 37, 3, 2, -6.0f, true, 0.1f};
    ASSERT_GT(formatSfzRegion(line, sizeof line, looped), 0u);
    EXPECT_STREQ("<region> lokey=0 hikey=127 pitch_keycenter=60 lovel=65 hivel=127 seq_length=3 seq_position=2 "
                 "amp_velcurve_64=0.484172 amp_velcurve_80=0.582103 amp_velcurve_96=0.699842 "
                 "amp_velcurve_112=0.841395 amp_velcurve_127=1 "
                 "tune=-37 loop_mode=loop_sustain loop_start=1000 loop_end=45099 sample=a.wav\n",
                 line)
        << "a sample 37 cents sharp is tuned back, the second of three variations, its layer's curve falling "
           "0.1 dB a step from 127 down to the layer below's top";
    EXPECT_EQ(0u, formatSfzRegion(line, 40, looped)) << "too small a buffer";
    SfzRegion broken = {"a\nb.wav", 0, 127, 60, 0, 127, false, 0, 0, 0, 0, 0, -6.0f, false, 0.0f};
    EXPECT_EQ(0u, formatSfzRegion(line, sizeof line, broken));
    ASSERT_GT(formatSfzHead(line, sizeof line, 500), 0u);
    EXPECT_NE(nullptr, strstr(line, "ampeg_release=0.500\n"));
}

}  // namespace
