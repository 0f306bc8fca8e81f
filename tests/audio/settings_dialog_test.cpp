#include <gtest/gtest.h>

#include "audio/settings_dialog.h"

namespace {
ASIOError supportsAll(ASIOSampleRate) { return ASE_OK; }
ASIOError supportsNone(ASIOSampleRate) { return ASE_NotPresent; }
ASIOError supportsUpTo48k(ASIOSampleRate rate) { return rate <= 48000 ? ASE_OK : ASE_InvalidMode; }
}  // namespace

TEST(SampleRateList, OffersSupportedRatesAndTheEngineRate) {
    RateChoices all = sampleRateChoices(supportsAll, 48000);
    ASSERT_EQ(8, all.count);
    EXPECT_EQ(11025, all.rates[0]);
    EXPECT_EQ(96000, all.rates[7]);
    EXPECT_EQ(4, all.selected);

    // Without a driver every question fails: only the current rate is listed.
    RateChoices none = sampleRateChoices(supportsNone, 44100);
    ASSERT_EQ(1, none.count);
    EXPECT_EQ(44100, none.rates[0]);
    EXPECT_EQ(0, none.selected);

    // A driver running at a rate outside the offered list: supported ones, then its own, selected.
    RateChoices odd = sampleRateChoices(supportsUpTo48k, 47999);
    ASSERT_EQ(6, odd.count);
    EXPECT_EQ(48000, odd.rates[4]);
    EXPECT_EQ(47999, odd.rates[5]);
    EXPECT_EQ(5, odd.selected);

    // An offered rate the driver refuses but the engine runs at is appended, not lost.
    RateChoices refused = sampleRateChoices(supportsUpTo48k, 96000);
    EXPECT_EQ(96000, refused.rates[refused.selected]);
    EXPECT_EQ(6, refused.selected);
}

TEST(TempoEdit, ClampsTypedText) {
    struct Case {
        const char *text;
        int tempo;
    } cases[] = {{"5", 10}, {"900", 500}, {"120", 120}, {"10", 10}, {"500", 500}, {"", 10}, {"abc", 10},
                 {"99999999999999999999", 500}, {"-30", 10}, {"72bpm", 72}};
    for (const Case &c : cases) EXPECT_EQ(c.tempo, tempoFromText(c.text)) << c.text;
}
