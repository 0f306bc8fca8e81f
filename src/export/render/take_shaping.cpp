#include "export/render/take_shaping.h"

#include <cmath>

namespace {

const double kFadeSeconds = 0.020;
const double kTailSeconds = 0.005;
const int kMinLoopPeriods = 4;
const int kStartCandidates = 64;
const int kEndSlack = 2;         // frames tried on either side of a whole number of periods
const int kCoarseDecimation = 4;
// A looped sample keeps at least these after its loop, as samplers expect, and the
// frames that blend from the loop back into the take.
const uint32_t kFramesAfterLoop = 32;

// The join's residual over [-half, half) around start and end, every `step` frames.
double joinError(const float *x, uint32_t start, uint32_t end, uint32_t half, uint32_t step) {
    double residual = 0.0, energy = 0.0;
    for (uint32_t j = 0; j < 2 * half; j += step) {
        double a = x[start - half + j], b = x[end - half + j];
        residual += (a - b) * (a - b);
        energy += a * a + b * b;
    }
    return energy > 1e-12 ? residual / energy : 1e30;
}

struct Candidate {
    uint32_t start = 0, end = 0;
    double error = 1e30;
};

// The best end within kEndSlack frames of start + length for this start.
void tryStart(const float *x, uint32_t start, uint32_t length, uint32_t half, uint32_t step, uint32_t lastEnd,
              Candidate &best) {
    for (int d = -kEndSlack; d <= kEndSlack; ++d) {
        int64_t end = (int64_t)start + length + d;
        if (end <= start || end > lastEnd) continue;
        double error = joinError(x, start, (uint32_t)end, half, step);
        if (error < best.error) best = Candidate{start, (uint32_t)end, error};
    }
}

// A whole number of periods, between half and all of `room`, whose length comes
// closest to a whole number of frames (the longest of equal ones).
uint32_t loopLength(double period, uint32_t room) {
    int most = (int)std::floor(room / period);
    if (most < kMinLoopPeriods) return 0;
    int fewest = most / 2 < kMinLoopPeriods ? kMinLoopPeriods : most / 2;
    int bestK = most;
    double bestMiss = 1.0;
    for (int k = most; k >= fewest; --k) {
        double length = k * period;
        double miss = std::fabs(length - std::floor(length + 0.5));
        if (miss < bestMiss - 1e-3) bestMiss = miss, bestK = k;
    }
    return (uint32_t)std::floor(bestK * period + 0.5);
}

}  // namespace

double keyPeriod(int key, int sampleRate) { return sampleRate / (440.0 * std::pow(2.0, (key - 69) / 12.0)); }

SustainLoop findSustainLoop(const float *mono, uint32_t frames, uint32_t heldFrom, uint32_t heldTo, double period,
                            int sampleRate) {
    SustainLoop none = {false, 0, 0, 1.0f};
    if (!mono || sampleRate <= 0 || !(period >= 2.0) || heldTo > frames || heldFrom >= heldTo) return none;
    uint32_t half = (uint32_t)std::fmin(512.0, std::fmax(64.0, 2.0 * period));
    uint32_t fade = (uint32_t)(kFadeSeconds * sampleRate);
    uint64_t first = (uint64_t)heldFrom + fade + half;  // lowest start
    if (heldTo < half || first + half >= heldTo) return none;
    uint32_t lastEnd = heldTo - half;  // highest end
    uint32_t room = lastEnd - (uint32_t)first;
    // Leave a quarter of the room for the start to move in.
    uint32_t length = loopLength(period, room - room / 4);
    if (length == 0 || length + kEndSlack > room) return none;

    uint32_t slack = room - length - kEndSlack;
    uint32_t stride = slack / kStartCandidates;
    if (stride < 1) stride = 1;
    Candidate coarse;
    for (uint32_t s = (uint32_t)first; s <= (uint32_t)first + slack; s += stride)
        tryStart(mono, s, length, half, kCoarseDecimation, lastEnd, coarse);
    if (coarse.error >= 1e29) return none;

    // Around the best coarse start, every frame of the window.
    Candidate fine;
    uint32_t step = stride / 8 ? stride / 8 : 1;
    uint32_t from = coarse.start > first + stride ? coarse.start - stride : (uint32_t)first;
    uint32_t to = coarse.start + stride < first + slack ? coarse.start + stride : (uint32_t)first + slack;
    for (uint32_t s = from; s <= to; s += step) tryStart(mono, s, length, half, 1, lastEnd, fine);
    SustainLoop loop = {fine.error < kMaxLoopJoinError, fine.start, fine.end, (float)fine.error};
    return loop.found ? loop : SustainLoop{false, fine.start, fine.end, (float)fine.error};
}

uint32_t crossfadeFrames(const SustainLoop &loop, int sampleRate) {
    uint32_t fade = (uint32_t)(kFadeSeconds * sampleRate);
    if (fade > loop.start) fade = loop.start;
    if (fade > (loop.end - loop.start) / 4) fade = (loop.end - loop.start) / 4;
    return fade;
}

void writeLoopCrossfade(float *channel, uint32_t frames, const SustainLoop &loop, uint32_t fadeFrames) {
    if (!loop.found || fadeFrames <= kLoopGuardFrames || fadeFrames > loop.start ||
        loop.end < loop.start + fadeFrames || loop.end > frames)
        return;
    // Before the end: into the frames before the start, wholly for the last guard frames.
    const uint32_t ramp = fadeFrames - kLoopGuardFrames;
    for (uint32_t j = 0; j < fadeFrames; ++j) {
        float into = j + 1 >= ramp ? 1.0f : (float)(j + 1) / (float)ramp;
        float &frame = channel[loop.end - fadeFrames + j];
        frame = frame * (1.0f - into) + channel[loop.start - fadeFrames + j] * into;
    }
    // After the end: the loop's first frames, then back into the take's own frames over
    // as much of the fade's length as the loop and the take leave room for.
    const uint32_t length = loop.end - loop.start;
    uint32_t after = frames - loop.end;
    if (after > length) after = length;
    if (after > kLoopGuardFrames + fadeFrames) after = kLoopGuardFrames + fadeFrames;
    const uint32_t back = after > kLoopGuardFrames ? after - kLoopGuardFrames : 0;
    for (uint32_t k = 0; k < after; ++k) {
        float own = k < kLoopGuardFrames ? 0.0f : (float)(k - kLoopGuardFrames + 1) / (float)(back + 1);
        float &frame = channel[loop.end + k];
        frame = channel[loop.start + k] * (1.0f - own) + frame * own;
    }
}

uint32_t trimmedFrames(const float *const *channels, int channelCount, uint32_t frames, uint32_t keepFrames,
                       int sampleRate) {
    uint32_t last = 0;  // one past the last frame above the threshold
    for (int c = 0; c < channelCount; ++c) {
        for (uint32_t i = frames; i > last; --i) {
            if (std::fabs(channels[c][i - 1]) > kTailThreshold) {
                last = i;
                break;
            }
        }
    }
    uint64_t end = (uint64_t)last + (uint64_t)(kTailSeconds * sampleRate);
    if (end < keepFrames) end = keepFrames;
    if (end > frames) end = frames;
    return end ? (uint32_t)end : (frames ? 1 : 0);
}

void fadeOutTail(float *channel, uint32_t frames, int sampleRate) {
    uint32_t n = (uint32_t)(kTailSeconds * sampleRate);
    if (n > frames) n = frames;
    for (uint32_t j = 0; j < n; ++j) channel[frames - n + j] *= (float)(n - 1 - j) / (float)n;
}

void heldPart(int32_t noteOff, int32_t totalFrames, uint32_t &from, uint32_t &to) {
    if (noteOff > totalFrames) noteOff = totalFrames;
    to = (uint32_t)(noteOff > 0 ? noteOff : 0);
    from = to / 4;
}

void sumChannels(const float *const channels[2], uint32_t count, float *sum) {
    for (uint32_t i = 0; i < count; ++i) sum[i] = channels[0][i] + channels[1][i];
}

TakeShape shapeTake(float *const channels[2], uint32_t frames, int32_t noteOff, double period, int sampleRate,
                    bool loop, bool trim, const float *sum) {
    TakeShape shape = {frames, SustainLoop{false, 0, 0, 1.0f}};
    if (loop && sum) {
        uint32_t from, to;
        heldPart(noteOff, (int32_t)frames, from, to);
        shape.loop = findSustainLoop(sum, to, from, to, period, sampleRate);
        if (shape.loop.found) {
            uint32_t fade = crossfadeFrames(shape.loop, sampleRate);
            for (int c = 0; c < 2; ++c) writeLoopCrossfade(channels[c], frames, shape.loop, fade);
        }
    }
    if (trim) {
        const float *const both[2] = {channels[0], channels[1]};
        uint32_t blend = shape.loop.found ? kLoopGuardFrames + crossfadeFrames(shape.loop, sampleRate) : 0;
        uint32_t keep = shape.loop.found ? shape.loop.end + (blend > kFramesAfterLoop ? blend : kFramesAfterLoop) : 0;
        uint32_t kept = trimmedFrames(both, 2, frames, keep, sampleRate);
        if (kept < frames) {
            for (int c = 0; c < 2; ++c) fadeOutTail(channels[c], kept, sampleRate);
            shape.frames = kept;
        }
    }
    return shape;
}
