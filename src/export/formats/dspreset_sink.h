// The Decent Sampler set of an export: <name>.dspreset and beside it a folder <name>
// of one WAV per take in the chosen format, each carrying its root key, ranges and
// loop; the preset, written once every sample is, maps them in one group per velocity
// layer. A cancel keeps the finished samples and writes no preset.
#pragma once

#include "export/formats/dspreset_text.h"
#include "export/formats/wav_sink.h"

class DsPresetSink : public TakeSink {
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
    int layers_ = 1;
    size_t relativeTo_ = 0;              // the samples' paths are named from this character on
    DsSample *entries_ = nullptr;        // one per sample written
    char (*paths_)[3 * kPathLimit] = nullptr;  // their paths in UTF-8
    int added_ = 0;
    int failedBefore_ = 0;  // the report's failures when the samples began
};
