#include "export/render/take_pitch.h"

#include <cmath>

namespace {

const double kSearchSemitones = 1.5;  // either side of the nominal period
const double kMaxDifference = 0.1;    // a repeat matching worse than this is no pitch
const uint32_t kCoarseWindow = 8192;
const uint32_t kCoarseStep = 4;  // the coarse search compares every 4th frame at least
const uint32_t kSparseStep = 2;  // the finer ones every other frame
const uint32_t kLongWindow = 16384;
const double kPi = 3.14159265358979323846;

// How unlike itself the part is `lag` frames later, over `window` frames from `from`:
// 0 for a perfect repeat, about 1 for noise.
double difference(const float *x, uint32_t from, uint32_t window, uint32_t lag, uint32_t step = 1) {
    return mismatch(x + from, x + from + lag, window, step, 1.0, 1.0);
}

// Where between lag - 1 and lag + 1 the difference is least. Near its minimum the
// difference of a tone of period `period` goes as 1 - cos(2 pi (lag - minimum) /
// period): fitting that curve to the three differences finds the minimum to a small
// part of a frame even when a period spans only a few frames (a parabola would not).
// least: the fitted curve's lowest value, where the integer lags may all lie above it.
double fitMinimum(double before, double at, double after, uint32_t lag, double period, double *least = nullptr) {
    const double w = 2.0 * kPi / period;
    const double sine = (after - before) / (2.0 * std::sin(w));
    const double cosine = (after + before - 2.0 * at) / (2.0 * (1.0 - std::cos(w)));
    if (least) *least = at + cosine - std::hypot(sine, cosine);
    if (cosine <= 0.0) {
        if (least) *least = at;
        return lag;
    }
    double shift = std::atan2(sine, cosine) / w;  // how far the minimum lies below lag
    return lag - (shift > 0.5 ? 0.5 : shift < -0.5 ? -0.5 : shift);
}

// The best lag in [low, high] (integers) and its difference, comparing every step-th frame.
uint32_t bestLag(const float *x, uint32_t from, uint32_t window, uint32_t low, uint32_t high, double &best,
                 uint32_t step = 1) {
    uint32_t lag = low;
    best = 2.0;
    for (uint32_t l = low; l <= high; ++l) {
        double d = difference(x, from, window, l, step);
        if (d < best) best = d, lag = l;
    }
    return lag;
}

}  // namespace

double mismatch(const float *a, const float *b, uint32_t count, uint32_t step, double gain, double silence) {
    // Four sums in turn, which the processor adds side by side rather than one after another.
    double r0 = 0.0, r1 = 0.0, r2 = 0.0, r3 = 0.0, e0 = 0.0, e1 = 0.0, e2 = 0.0, e3 = 0.0;
    auto term = [&](uint32_t i, double &r, double &e) {
        const double p = a[i], q = gain * b[i];
        r += (p - q) * (p - q);
        e += p * p + q * q;
    };
    uint32_t i = 0;
    for (; i + 3 * step < count; i += 4 * step) {
        term(i, r0, e0);
        term(i + step, r1, e1);
        term(i + 2 * step, r2, e2);
        term(i + 3 * step, r3, e3);
    }
    for (; i < count; i += step) term(i, r0, e0);
    const double residual = (r0 + r1) + (r2 + r3), energy = (e0 + e1) + (e2 + e3);
    return energy > 1e-12 ? residual / energy : silence;
}

MeasuredPitch measurePitch(const float *x, uint32_t from, uint32_t to, double nominalPeriod) {
    MeasuredPitch none = {false, 0.0, 0.0};
    if (!x || to <= from || !(nominalPeriod >= 2.0)) return none;
    const uint32_t length = to - from;
    const double spread = std::pow(2.0, kSearchSemitones / 12.0);
    const uint32_t low = (uint32_t)std::floor(nominalPeriod / spread), high = (uint32_t)std::ceil(nominalPeriod * spread);
    // Room for the longest lag and a few periods to compare.
    if (low < 3 || (uint64_t)high + 2 + 3 * (uint64_t)high > length) return none;
    // Every lag of the range compared over two periods of the longest, on some 128 of
    // their frames (the difference is an average over the window, which a sparse choice
    // of its frames estimates well enough to find the best lag within a few frames);
    // then the lags around the best over the whole window, on every other frame (a
    // window that long evens out a vibrato).
    uint32_t window = length - high - 2;
    if (window > kCoarseWindow) window = kCoarseWindow;
    const uint32_t coarseWindow = window > 2 * high && 2 * high >= 1024 ? 2 * high : window > 1024 ? 1024 : window;
    const uint32_t coarseStep = coarseWindow / 128 > kCoarseStep ? coarseWindow / 128 : kCoarseStep;
    // A frame either side, so that the refined minimum may lie anywhere in the range.
    double best, least;
    uint32_t lag = bestLag(x, from, coarseWindow, low - 1, high + 1, best, coarseStep);
    lag = bestLag(x, from, window, lag >= low + kCoarseStep ? lag - kCoarseStep : low - 1,
                  lag + kCoarseStep <= high ? lag + kCoarseStep : high + 1, best, kSparseStep);
    if (lag < low || lag > high) return none;
    double period = fitMinimum(difference(x, from, window, lag - 1, kSparseStep), best,
                               difference(x, from, window, lag + 1, kSparseStep), lag, nominalPeriod, &least);
    if (least > kMaxDifference || period < nominalPeriod / spread || period > nominalPeriod * spread) return none;

    // Over ever more periods, eight times as many each step, as far as half the part:
    // each step's estimate puts the next lag within a frame or two.
    for (uint32_t periods = 4; periods * period <= length / 2; periods *= 8) {
        uint32_t around = (uint32_t)std::floor(periods * period + 0.5);
        uint32_t longWindow = length - around - 3;
        if (longWindow > kLongWindow) longWindow = kLongWindow;
        // The three lags around it; a minimum at either side needs one more beyond it.
        double d[3];
        for (int k = 0; k < 3; ++k) d[k] = difference(x, from, longWindow, around - 1 + k, kSparseStep);
        const int at = d[0] < d[1] && d[0] < d[2] ? 0 : d[2] < d[1] ? 2 : 1;
        double refined;
        if (at == 1)
            refined = fitMinimum(d[0], d[1], d[2], around, period);
        else if (at == 0)
            refined = fitMinimum(difference(x, from, longWindow, around - 2, kSparseStep), d[0], d[1], around - 1,
                                 period);
        else
            refined = fitMinimum(d[1], d[2], difference(x, from, longWindow, around + 2, kSparseStep), around + 1,
                                 period);
        refined /= periods;
        // A sound whose pitch wanders keeps the estimate it had.
        if (std::fabs(refined - period) * periods > 1.0) break;
        period = refined;
    }
    return MeasuredPitch{true, period, 1200.0 * std::log2(nominalPeriod / period)};
}

int tuningCents(const MeasuredPitch &pitch) {
    if (!pitch.found) return 0;
    return (int)std::floor(pitch.cents + 0.5);
}
