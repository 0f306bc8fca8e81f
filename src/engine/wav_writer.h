// WAV files as this program writes them: the canonical 44-byte header (or the
// RF64 form when the data would not fit 32-bit RIFF sizes), optionally with the
// sampler chunks (smpl, inst) before the data, and the sample encodings of the
// three bit depths.
#pragma once

#include <cstddef>
#include <cstdint>

const int kWavFormatPcm = 1;
const int kWavFormatFloat = 3;
const size_t kWavHeaderSize = 44;
const size_t kRf64HeaderSize = 80;
// The smpl chunk with one loop and the inst chunk (seven bytes, and one more to keep
// its size even).
const size_t kWavSamplerChunksSize = (8 + 36 + 24) + (8 + 8);
const size_t kMaxWavHeaderSize = kRf64HeaderSize + kWavSamplerChunksSize;

// The three bit depths: 0 = 16-bit, 1 = 24-bit, 2 = 32-bit float (the order of
// the save dialog's combo and of the export dialog's list).
enum WavDepth { kWavDepth16 = 0, kWavDepth24 = 1, kWavDepthFloat = 2 };

struct WavFormat {
    int formatTag;      // kWavFormatPcm or kWavFormatFloat
    int bitsPerSample;  // 16, 24 or 32
    int channels;
    int blockAlign;     // bytes per frame
    int sampleRate;
};

// Bytes of one sample of one channel: 2, 3 or 4.
int wavBytesPerSample(WavDepth depth);

WavFormat wavFormatFor(WavDepth depth, int channels, int sampleRate);

// What a sampler reads from the file itself to map and play a sample: the smpl chunk
// (the root key with the fraction of a semitone the sample sounds above it, the
// sample period, one forward loop) and the inst chunk (the root key, its fine tune,
// gain 0, the key and velocity range).
struct WavSamplerData {
    uint8_t rootKey;
    double centsAboveRoot;  // the sample sounds this much above its root key (0: in tune)
    uint8_t lowKey, highKey;
    uint8_t lowVelocity, highVelocity;
    bool looped;
    uint32_t loopStart, loopEnd;  // the loop plays loopStart ... loopEnd - 1
};

// True when frames of this format fit the 32-bit sizes of a plain RIFF file (with
// the sampler chunks when asked).
bool wavFitsRiff(const WavFormat &format, uint64_t frames, bool samplerChunks = false);

// Fills out (kMaxWavHeaderSize bytes of room) with the header for this many frames
// and returns its length: 44 for a plain RIFF file, 80 for RF64 (with a ds64 chunk
// holding the 64-bit sizes); with sampler data, its smpl and inst chunks follow the
// format chunk (60 or 84 bytes more).
size_t buildWavHeader(uint8_t *out, const WavFormat &format, uint64_t frames, const WavSamplerData *sampler = nullptr);

// The smpl chunk's unity note and pitch fraction (of a semitone above the note, in
// 1 / 2^32) and the inst chunk's unshifted note and fine tune (cents, -50 ... 50)
// for a sample that sounds `cents` above the root key.
struct WavTuning {
    uint8_t unityNote;
    uint32_t pitchFraction;
    uint8_t unshiftedNote;
    int8_t fineTune;
};
WavTuning wavTuning(uint8_t rootKey, double cents);

// Writes the header at the descriptor's position with the C runtime's write;
// false when not every byte was written.
bool writeWavHeader(int fd, const WavFormat &format, uint64_t frames);

// One float sample as a signed integer: x >= 1.0 gives the maximum, x < -1.0 the
// minimum, anything else x * 2^15 (or 2^23) truncated towards zero. Not-a-number
// gives 0.
int16_t encodePcm16(float x);
int32_t encodePcm24(float x);

// n samples of one channel, each the same as encodePcm16 / encodePcm24 gives. With
// vector set to false, one sample at a time through those (the reference the SSE2
// forms are checked against); otherwise the SSE2 form.
void encodePcm16Block(const float *in, int16_t *out, int n, bool vector = true);
void encodePcm24Block(const float *in, int32_t *out, int n, bool vector = true);

// The mono mix of two channels: out[i] = (left[i] + right[i]) / 2, the sum rounded to
// single precision before it is halved (so a sum beyond the float range is infinite,
// in both builds); of two NaNs the right one comes through, quieted. vector as above.
// out may be left or right.
void mixToMono(const float *left, const float *right, float *out, int n, bool vector = true);

// Interleaves frames of channelCount float channels into out in the depth's
// encoding (little-endian; 24-bit as three bytes). out holds frames x channels x
// bytes-per-sample bytes. Float samples are copied bit for bit. vector as above.
void encodeFrames(const float *const *channels, int channelCount, int frames, WavDepth depth, uint8_t *out,
                  bool vector = true);
