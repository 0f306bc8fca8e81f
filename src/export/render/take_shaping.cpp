#include "export/render/take_shaping.h"

#include <cmath>

#include "export/render/take_pitch.h"

namespace {

const double kFadeSeconds = 0.020;
const double kTailSeconds = 0.005;
const int kMinLoopPeriods = 4;
const int kStartCandidates = 64;
const int kEndSlack = 1;         // frames tried on either side of a whole number of periods
const int kCoarseDecimation = 4;
// A looped sample keeps at least these after its loop, as samplers expect, and the
// frames that blend from the loop back into the take.
const uint32_t kFramesAfterLoop = 32;

// How much a held sound may fade (or swell) for its loop to be level-matched: a
// synthesiser's decaying sustain falls a few dB a second; a plucked or struck sound,
// which falls far faster, gets no loop.
const double kMatchedFadeDbPerSecond = 6.0;
const double kSteadyDbPerSecond = 0.5;
// Regions to be crossfaded whose correlation reaches this blend linearly, others with equal power.
const double kCorrelatedJoin = 0.5;
const double kHalfPi = 1.5707963267948966;

// The join's residual over [-half, half) around start and end, every `step` frames, the
// frames around the end raised by `gain` to the level around the start.
double joinError(const float *x, uint32_t start, uint32_t end, uint32_t half, uint32_t step, double gain) {
    return mismatch(x + start - half, x + end - half, 2 * half, step, gain, 1e30);
}

// Every step-th frame's.
double rms(const float *x, uint32_t from, uint32_t count, uint32_t step = 1) {
    double sum = 0.0;
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; i += step, ++n) sum += (double)x[from + i] * x[from + i];
    return n ? std::sqrt(sum / n) : 0.0;
}

struct Candidate {
    uint32_t start = 0, end = 0;
    double error = 1e30, gain = 1.0;
};

// The gain that brings the frames around end to the level of those around start, within
// what the sound's fade over the loop's length allows (1 for a steady sound).
double levelGain(const float *x, uint32_t start, uint32_t end, uint32_t half, uint32_t step, double allowedDb) {
    if (allowedDb <= 0.0) return 1.0;
    double a = rms(x, start - half, 2 * half, step), b = rms(x, end - half, 2 * half, step);
    if (a <= 0.0 || b <= 0.0) return 1.0;
    double most = std::pow(10.0, allowedDb / 20.0), gain = a / b;
    return gain > most ? most : gain < 1.0 / most ? 1.0 / most : gain;
}

// The best end within kEndSlack frames of start + length for this start (the level
// matched once for them all: a few frames make no difference to it).
void tryStart(const float *x, uint32_t start, uint32_t length, uint32_t half, uint32_t step, uint32_t lastEnd,
              double allowedDb, Candidate &best) {
    const uint64_t middle = (uint64_t)start + length;
    if (middle > (uint64_t)lastEnd + kEndSlack) return;
    const double gain = levelGain(x, start, middle < lastEnd ? (uint32_t)middle : lastEnd, half, step, allowedDb);
    for (int d = -kEndSlack; d <= kEndSlack; ++d) {
        int64_t end = (int64_t)start + length + d;
        if (end <= start || end > lastEnd) continue;
        double error = joinError(x, start, (uint32_t)end, half, step, gain);
        if (error < best.error) best = Candidate{start, (uint32_t)end, error, gain};
    }
}

// The best loop of this length whose start lies in [first, first + slack], the starts
// tried `stride` apart with the join judged on every `step`-th frame.
Candidate bestOfLength(const float *x, uint32_t length, uint32_t first, uint32_t slack, uint32_t stride,
                       uint32_t half, uint32_t step, uint32_t lastEnd, double allowedDb) {
    Candidate best;
    for (uint32_t s = first; s <= first + slack; s += stride) tryStart(x, s, length, half, step, lastEnd, allowedDb, best);
    return best;
}

// How fast the held part's level changes, in dB a second (negative: it fades), from its
// level in a window at its start and one at its end.
double fadeRate(const float *x, uint32_t from, uint32_t to, double period, int sampleRate) {
    uint32_t window = (uint32_t)std::fmax(4.0 * period, 0.010 * sampleRate);
    if (to <= from || to - from < 3 * window) return 0.0;
    double a = rms(x, from, window), b = rms(x, to - window, window);
    if (a <= 0.0 || b <= 0.0) return -1e9;
    return 20.0 * std::log10(b / a) / ((double)(to - from - window) / sampleRate);
}

}  // namespace

double keyPeriod(int key, int sampleRate) { return sampleRate / (440.0 * std::pow(2.0, (key - 69) / 12.0)); }

double chordPeriod(const uint8_t *keys, int count, int sampleRate, uint32_t heldFrames) {
    if (!keys || count <= 0 || sampleRate <= 0) return 0.0;
    int lowest = keys[0];
    for (int i = 1; i < count; ++i)
        if (keys[i] < lowest) lowest = keys[i];
    const double base = keyPeriod(lowest, sampleRate);
    // The room findSustainLoop leaves for a loop with its widest window.
    const double fade = kFadeSeconds * sampleRate, room = (double)heldFrames - fade - 2.0 * 512.0;
    const double longest = (room - room / 4.0) / kMinLoopPeriods;
    for (int n = 1; n * base <= longest; ++n) {
        const double common = n * base;
        bool whole = true;
        for (int i = 0; i < count && whole; ++i) {
            const double periods = common / keyPeriod(keys[i], sampleRate);
            whole = std::fabs(periods - std::floor(periods + 0.5)) <= kChordPhaseMiss;
        }
        if (whole) return common;
    }
    return 0.0;
}

SustainLoop findSustainLoop(const float *mono, uint32_t frames, uint32_t heldFrom, uint32_t heldTo, double period,
                            int sampleRate) {
    SustainLoop none = {false, 0, 0, 1.0f, 1.0f};
    if (!mono || sampleRate <= 0 || !(period >= 2.0) || heldTo > frames || heldFrom >= heldTo) return none;
    uint32_t half = (uint32_t)std::fmin(512.0, std::fmax(64.0, 2.0 * period));
    uint32_t fade = (uint32_t)(kFadeSeconds * sampleRate);
    uint64_t first = (uint64_t)heldFrom + fade + half;  // lowest start
    if (heldTo < half || first + half >= heldTo) return none;
    uint32_t lastEnd = heldTo - half;  // highest end
    uint32_t room = lastEnd - (uint32_t)first;
    // Leave a quarter of the room for the start to move in.
    const uint32_t longest = room - room / 4;
    // A sound that fades faster than a sustain does (plucked, struck) has no sustain to
    // loop; one that fades gently may have its loop's end raised to its start's level,
    // by as much as it fades over the loop's length.
    const double fadeDb = fadeRate(mono, heldFrom, heldTo, period, sampleRate);
    if (std::fabs(fadeDb) > kMatchedFadeDbPerSecond) return none;
    // A sound steady to within a fraction of a dB a second loops as it is.
    const double dbPerFrame = std::fabs(fadeDb) < kSteadyDbPerSecond ? 0.0 : std::fabs(fadeDb) / sampleRate;

    // Loop lengths in classes of whole periods: the longest the room takes down to half
    // of it, then down to half of that, and so on to a few periods; in each class the
    // number of periods whose length lies nearest a whole number of frames (its end then
    // meets its start in phase), the most periods of those about as near. The longest
    // that joins within the limit is kept, so the classes are tried from the longest down
    // and the first that joins ends the search.
    uint32_t lengths[32];
    int count = 0;
    for (int most = (int)std::floor(longest / period); most >= kMinLoopPeriods && count < 32; most /= 2) {
        const int fewest = most / 2 < kMinLoopPeriods ? kMinLoopPeriods : most / 2;
        int bestK = most;
        double bestMiss = 1.0;
        for (int k = most; k >= fewest; --k) {
            const double length = k * period, miss = std::fabs(length - std::floor(length + 0.5));
            if (miss < bestMiss - 1e-3) bestMiss = miss, bestK = k;
        }
        const uint32_t length = (uint32_t)std::floor(bestK * period + 0.5);
        if (length + kEndSlack <= room) lengths[count++] = length;
        if (fewest == kMinLoopPeriods) break;
    }
    Candidate kept;
    uint32_t keptLength = 0, keptStride = 1;
    for (int i = 0; i < count && keptLength == 0; ++i) {
        const uint32_t length = lengths[i], slack = room - length - kEndSlack;
        uint32_t stride = slack / kStartCandidates ? slack / kStartCandidates : 1;
        Candidate c = bestOfLength(mono, length, (uint32_t)first, slack, stride, half, kCoarseDecimation, lastEnd,
                                   dbPerFrame * length);
        if (c.error < kMaxLoopJoinError) kept = c, keptLength = length, keptStride = stride;
        else if (c.error < kept.error) kept = c;  // the closest miss, for its error
    }
    if (keptLength == 0) return SustainLoop{false, kept.start, kept.end, (float)kept.error, 1.0f};

    // Around the kept length's best start, every frame of the window.
    uint32_t slack = room - keptLength - kEndSlack;
    uint32_t step = keptStride / 8 ? keptStride / 8 : 1;
    uint32_t from = kept.start > first + keptStride ? kept.start - keptStride : (uint32_t)first;
    uint32_t to = kept.start + keptStride < first + slack ? kept.start + keptStride : (uint32_t)first + slack;
    Candidate fine;
    for (uint32_t s = from; s <= to; s += step)
        tryStart(mono, s, keptLength, half, 1, lastEnd, dbPerFrame * keptLength, fine);
    bool found = fine.error < kMaxLoopJoinError;
    return SustainLoop{found, fine.start, fine.end, (float)fine.error, found ? (float)fine.gain : 1.0f};
}

uint32_t crossfadeFrames(const SustainLoop &loop, int sampleRate) {
    uint32_t fade = (uint32_t)(kFadeSeconds * sampleRate);
    if (fade > loop.start) fade = loop.start;
    if (fade > (loop.end - loop.start) / 4) fade = (loop.end - loop.start) / 4;
    return fade;
}

namespace {

// Whether the regions before a loop's start and before its end move together (a tone),
// rather than independently (noise).
bool correlatedJoin(const float *channel, const SustainLoop &loop, uint32_t fadeFrames) {
    double cross = 0.0, before = 0.0, end = 0.0;
    for (uint32_t j = 0; j < fadeFrames; ++j) {
        double a = channel[loop.start - fadeFrames + j], b = channel[loop.end - fadeFrames + j];
        cross += a * b;
        before += a * a;
        end += b * b;
    }
    return before > 0.0 && end > 0.0 && cross / std::sqrt(before * end) >= kCorrelatedJoin;
}

}  // namespace

void writeLoopCrossfade(float *channel, uint32_t frames, const SustainLoop &loop, uint32_t fadeFrames) {
    if (!loop.found || fadeFrames <= kLoopGuardFrames || fadeFrames > loop.start ||
        loop.end < loop.start + fadeFrames || loop.end > frames)
        return;
    const uint32_t length = loop.end - loop.start;
    // A gently fading sound: the loop's level raised from 1 at its start to its gain at
    // its end, so that its end meets its start at one level.
    if (loop.gain != 1.0f)
        for (uint32_t i = 0; i < length; ++i)
            channel[loop.start + i] *= 1.0f + (loop.gain - 1.0f) * (float)i / (float)length;
    // Before the end: into the frames before the start, wholly for the last guard frames.
    // Correlated regions blend linearly (their sum keeps the level); uncorrelated ones,
    // noise-like sounds, with equal power, where a linear blend would dip by 3 dB.
    const bool linear = correlatedJoin(channel, loop, fadeFrames);
    const uint32_t ramp = fadeFrames - kLoopGuardFrames;
    for (uint32_t j = 0; j < fadeFrames; ++j) {
        const bool whole = j + 1 >= ramp;
        const float t = whole ? 1.0f : (float)(j + 1) / (float)ramp;
        float into = t, from = 1.0f - t;
        if (!linear && !whole) {
            into = (float)std::sin(kHalfPi * t);
            from = (float)std::cos(kHalfPi * t);
        }
        float &frame = channel[loop.end - fadeFrames + j];
        frame = frame * from + channel[loop.start - fadeFrames + j] * into;
    }
    // After the end: the loop's first frames, then back into the take's own frames over
    // as much of the fade's length as the loop and the take leave room for.
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

float heldLevelDb(const float *sum, uint32_t from, uint32_t to) {
    // Every 4th frame: the mean of a sound held this long moves by far less than the
    // tenth of a dB that matters here.
    double power = 0.0;
    uint32_t n = 0;
    for (uint32_t i = from; i < to; i += 4, ++n) power += (double)sum[i] * sum[i];
    power = n ? power / (4.0 * n) : 0.0;
    return power > 1e-20 ? (float)(10.0 * std::log10(power)) : -200.0f;
}

TakeShape shapeTake(float *const channels[2], uint32_t frames, int32_t noteOff, double period, int sampleRate,
                    bool loop, bool trim, const float *sum) {
    TakeShape shape = {frames, SustainLoop{false, 0, 0, 1.0f, 1.0f}};
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
