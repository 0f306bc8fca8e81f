// The SFZ set of an export: <name>.sfz and beside it a folder <name> of one WAV per
// take in the chosen format; the .sfz, written once every sample is, maps them with
// the key and velocity ranges, root keys, release and loops the SoundFont carries. A
// cancel keeps the finished samples and writes no .sfz, nor does a sample that was not
// written.
#pragma once

#include "export/formats/sfz_text.h"
#include "export/formats/wav_sink.h"

class SfzSink : public TakeSink {
public:
    bool begin(const ExportSettings &settings, const ExportPlan &plan, ExportMemory *memory,
               ExportReport &report) override;
    void add(const FinishedTake &take, ExportReport &report) override;
    void finish(ExportReport &report) override;
    void cancel(ExportReport &report) override;

private:
    void release();

    TakeWavFiles samples_ = {};
    ExportMemory *memory_ = nullptr;
    int releaseMs_ = 0;
    bool layered_ = false;            // the regions carry their layer's velocity curve
    size_t relativeTo_ = 0;           // the samples' paths are named from this character on
    SfzRegion *regions_ = nullptr;    // one per sample written
    char (*paths_)[kPathLimit] = nullptr;
    int added_ = 0;
    int failedBefore_ = 0;  // the report's failures when the samples began
};
