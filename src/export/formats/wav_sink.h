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
    bool samplerChunks;     // each file carries its root key, ranges and loop
    OutputWriter writer;
    ExportOutput *outputs;  // one per take
};

// False when none of the files can be written (the folder does not exist, no memory),
// each counted in the report. With samplerChunks every file carries the smpl and inst
// chunks.
bool beginTakeWavFiles(TakeWavFiles &wavs, const PathParts &parts, const ExportSettings &settings,
                       const ExportPlan &plan, bool samplerChunks, ExportMemory *memory, ExportReport &report);
// Writes the take's file, whose path goes into path; false when it could not even be
// created (counted).
bool addTakeWavFile(TakeWavFiles &wavs, const FinishedTake &take, char *path, size_t size, ExportReport &report);
// Waits for every file to be closed and counts them.
void finishTakeWavFiles(TakeWavFiles &wavs, ExportReport &report);

// The samples of a set (SFZ, Decent Sampler) lie in a folder named after the set's
// file beside it: parts with folder + base + "\" as the folder. False when that does
// not fit.
bool sampleFolderParts(const PathParts &parts, PathParts &samples);
// Makes the samples' folder (a folder that cannot be made fails the samples, each
// named) and begins their files, each with the sampler chunks; false when none can be
// written.
bool beginSetSamples(TakeWavFiles &wavs, const PathParts &samples, const ExportSettings &settings,
                     const ExportPlan &plan, ExportMemory *memory, ExportReport &report);
// The first step of a set with a file of its own (SFZ, Decent Sampler preset): that
// file counted and named with its extension, and the parts of its samples' folder.
// False, with the name counted as too long, when either cannot be named.
bool nameSampleSet(const ExportSettings &settings, const char *extension, ExportReport &report, PathParts &parts,
                   PathParts &samples);
// The last step, once the set's own room is allocated: the samples begun
// (beginSetSamples); relativeTo: where a sample's path within the set starts;
// failedBefore: the report's failures until then. False, with the set's file no
// longer counted, when no sample can be written: the samples' failures say why.
bool beginSampleSet(TakeWavFiles &wavs, const PathParts &parts, const PathParts &samples,
                    const ExportSettings &settings, const ExportPlan &plan, ExportMemory *memory,
                    ExportReport &report, size_t &relativeTo, int &failedBefore);
// The path of a sample relative to the set's file (its folder's name and its own,
// '/' between) from the sample's full path, which starts with the set's folder
// (prefix characters long).
void samplePathInSet(const char *path, size_t prefix, char *out, size_t size);

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
