#include "support/wav_file.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "support/program_runner.h"

namespace testing_support {

namespace {
uint32_t u32(const std::string &d, size_t at) {
    return (uint32_t)(uint8_t)d[at] | (uint32_t)(uint8_t)d[at + 1] << 8 | (uint32_t)(uint8_t)d[at + 2] << 16 |
           (uint32_t)(uint8_t)d[at + 3] << 24;
}
uint16_t u16(const std::string &d, size_t at) { return (uint16_t)((uint8_t)d[at] | (uint8_t)d[at + 1] << 8); }
}  // namespace

WavData readWav(const std::string &path) {
    WavData wav;
    std::string d = readFile(path);
    if (d.size() < 12 || d.compare(0, 4, "RIFF") != 0 || d.compare(8, 4, "WAVE") != 0) return wav;
    size_t at = 12, dataAt = 0, dataSize = 0;
    while (at + 8 <= d.size()) {
        std::string id = d.substr(at, 4);
        size_t size = u32(d, at + 4);
        if (id == "fmt " && at + 8 + 16 <= d.size()) {
            wav.formatTag = u16(d, at + 8);
            wav.channels = u16(d, at + 10);
            wav.sampleRate = (int)u32(d, at + 12);
            wav.bitsPerSample = u16(d, at + 22);
            if (wav.formatTag == 0xFFFE && size >= 40) wav.formatTag = u16(d, at + 8 + 24);
        } else if (id == "smpl" && at + 8 + 36 <= d.size()) {
            wav.sampler = true;
            uint32_t count = u32(d, at + 8 + 28);
            for (uint32_t i = 0; i < count && at + 8 + 36 + 24 * (i + 1) <= d.size(); ++i)
                wav.loops.push_back({u32(d, at + 8 + 36 + 24 * i + 8), u32(d, at + 8 + 36 + 24 * i + 12)});
        } else if (id == "data" && !dataAt) {
            dataAt = at + 8;
            dataSize = size;
            if (dataAt + dataSize > d.size()) dataSize = d.size() - dataAt;
        }
        at += 8 + size + (size & 1);
    }
    if (!dataAt || wav.channels <= 0 || wav.bitsPerSample <= 0) return wav;
    int bytes = wav.bitsPerSample / 8;
    size_t frames = dataSize / (bytes * wav.channels);
    wav.samples.assign(wav.channels, std::vector<float>(frames));
    for (size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < wav.channels; ++c) {
            size_t p = dataAt + (f * wav.channels + c) * bytes;
            float v = 0;
            if (wav.formatTag == 3 && bytes == 4) {
                uint32_t bits = u32(d, p);
                memcpy(&v, &bits, 4);
            } else if (wav.formatTag == 1 && bytes == 2) {
                v = (int16_t)u16(d, p) / 32768.0f;
            } else if (wav.formatTag == 1 && bytes == 3) {
                int32_t x = (int32_t)((uint32_t)(uint8_t)d[p] << 8 | (uint32_t)(uint8_t)d[p + 1] << 16 |
                                      (uint32_t)(uint8_t)d[p + 2] << 24) >> 8;
                v = x / 8388608.0f;
            } else if (wav.formatTag == 1 && bytes == 4) {
                v = (float)((int32_t)u32(d, p) / 2147483648.0);
            }
            wav.samples[c][f] = v;
        }
    }
    wav.ok = true;
    return wav;
}

float peak(const std::vector<float> &s, size_t begin, size_t end) {
    float p = 0;
    for (size_t i = begin; i < end && i < s.size(); ++i) p = std::fmax(p, std::fabs(s[i]));
    return p;
}

bool loudRegion(const std::vector<float> &s, float threshold, size_t *first, size_t *last) {
    bool found = false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::fabs(s[i]) > threshold) {
            if (!found) *first = i;
            *last = i;
            found = true;
        }
    }
    return found;
}

double zeroCrossingFrequency(const std::vector<float> &s, int sampleRate, size_t begin, size_t end) {
    if (end > s.size()) end = s.size();
    size_t firstCrossing = 0, lastCrossing = 0;
    int crossings = 0;
    for (size_t i = begin + 1; i < end; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (crossings == 0) firstCrossing = i;
            lastCrossing = i;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * (double)sampleRate / (double)(lastCrossing - firstCrossing);
}

}  // namespace testing_support
