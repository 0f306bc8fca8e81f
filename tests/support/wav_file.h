// Reads WAV files back independently of the code that wrote them, and measures
// what they carry (level, pitch).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct WavData {
    bool ok = false;
    int formatTag = 0;  // 1 PCM, 3 float
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    std::vector<std::vector<float>> samples;  // per channel, as float
    bool sampler = false;                     // a smpl chunk is there, with these loops
    std::vector<std::pair<uint32_t, uint32_t>> loops;  // start and end as the chunk has them (end: last frame)
    size_t frames() const { return samples.empty() ? 0 : samples[0].size(); }
};

WavData readWav(const std::string &path);

// Peak absolute value in [begin, end).
float peak(const std::vector<float> &s, size_t begin, size_t end);
// First and last sample whose absolute value exceeds the threshold; false if none.
bool loudRegion(const std::vector<float> &s, float threshold, size_t *first, size_t *last);
// Frequency from upward zero crossings over [begin, end).
double zeroCrossingFrequency(const std::vector<float> &s, int sampleRate, size_t begin, size_t end);

}  // namespace testing_support
