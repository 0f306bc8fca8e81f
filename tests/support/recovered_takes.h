// Checks shared by the tests of recordings that outlast the program: the take files
// a program leaves in its TMP folder, the recovered files in Documents\Korvane, and
// what a recovered WAV file holds, read by sox and by our own reader.
#pragma once

#include <string>
#include <vector>

#include "support/wav_file.h"

namespace testing_support {

// Documents\Korvane, where recovered recordings go.
std::string recoveredRecordingsFolder();
// The names of the take files ("~korvane-take-...") in a folder, sorted.
std::vector<std::string> takeFilesIn(const std::string &folder);

// The notes a channel carries, in order: every stretch louder than level / 4 that
// lasts at least 0.1 s (stretches split at 50 ms of quiet), as the nearest MIDI note
// of its pitch.
std::vector<int> notesHeard(const std::vector<float> &channel, float level, int rate);

// What sox says of a recovered recording and what it holds.
struct RecoveredFile {
    std::string soxChannels, soxRate, soxEncoding;
    bool soxFramesMatch = false;  // sox's sample count equals the frames in the data
    WavData wav;
};
RecoveredFile readRecovered(const std::string &path);
// What sox says of a recovered file in one line, "2 ch 44100 Hz 32-bit Floating Point
// PCM, whole" for a stereo float file at 44100 Hz whose header claims the frames it
// holds ("cut" otherwise): what every recovery must give.
std::string soxSummary(const RecoveredFile &file);
std::string stereoFloatSummary(int rate);

}  // namespace testing_support
