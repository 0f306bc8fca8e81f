// The SoundFont of an export: one file of every take's samples, written front to back
// as the takes arrive, its sizes patched at the end (24-bit: the samples' lowest bytes
// after them, SoundFont 2.04). A cancelled SoundFont is removed.
#pragma once

#include "export/formats/soundfont_file.h"
#include "export/formats/take_files.h"
#include "export/formats/take_sink.h"

class SoundFontSink : public TakeSink {
public:
    bool begin(const ExportSettings &settings, const ExportPlan &plan, ExportMemory *memory,
               ExportReport &report) override;
    void add(const FinishedTake &take, ExportReport &report) override;
    void finish(ExportReport &report) override;
    void cancel(ExportReport &report) override;
    void drop(const PlannedTake &, ExportReport &) override {}  // one file for every take

private:
    void release();

    char preset_[kPresetNameLength + 1] = "";
    int channels_ = 2;
    int32_t rate_ = 44100;
    int releaseMs_ = 0;
    int takes_ = 0;
    bool layered_ = false;  // more than one velocity layer: the zones carry velocity curves
    bool deep_ = false;     // 24-bit: the lowest 8 bits of each point in an sm24 chunk
    uint8_t *low_ = nullptr;  // those bytes, gathered until the smpl chunk is complete
    uint64_t lowUsed_ = 0;
    SoundFontTake *list_ = nullptr;  // one per take, filled as they arrive
    uint8_t *pdta_ = nullptr;        // room for the pdta list of every take, looped
    OutputWriter writer_ = {};
    ExportOutput out_ = {};
};
