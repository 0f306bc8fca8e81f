// WAV files of an export: one per take, named after the name typed with the take's
// key and, with several layers, its velocity ("pad_C3_v64.wav"); a chord's files carry
// no key ("pad.wav", "pad_v64.wav"). A cancel keeps the finished files.
#pragma once

#include <cstddef>

#include "export/formats/sample_names.h"
#include "export/formats/take_files.h"
#include "export/formats/take_sink.h"

// One WAV file per take in a folder, the files of the WAV file type and the samples of
// an SFZ.
struct TakeWavFiles {
    const char *typedName;  // the settings' name, which a name too long is reported by
    PathParts parts;        // each file: <drive><folder><base>_<key>_v<velocity>.wav
    WavDepth depth;
    int channels;
    int32_t rate;
    int files;
    OutputWriter writer;
    ExportOutput *outputs;  // one per take
};

// False when none of the files can be written (the folder does not exist, no memory),
// each counted in the report.
bool beginTakeWavFiles(TakeWavFiles &wavs, const PathParts &parts, const ExportSettings &settings,
                       const ExportPlan &plan, ExportMemory *memory, ExportReport &report);
// Writes the take's file, whose path goes into path; false when it could not even be
// created (counted).
bool addTakeWavFile(TakeWavFiles &wavs, const FinishedTake &take, char *path, size_t size, ExportReport &report);
// Waits for every file to be closed and counts them.
void finishTakeWavFiles(TakeWavFiles &wavs, ExportReport &report);

class WavSink : public TakeSink {
public:
    bool begin(const ExportSettings &settings, const ExportPlan &plan, ExportMemory *memory,
               ExportReport &report) override;
    void add(const FinishedTake &take, ExportReport &report) override;
    void finish(ExportReport &report) override;
    void cancel(ExportReport &report) override;

private:
    TakeWavFiles wavs_ = {};
};
