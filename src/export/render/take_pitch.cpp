#include "export/render/take_pitch.h"

#include <cmath>

namespace {

const double kSearchSemitones = 1.5;  // either side of the nominal period
const double kMaxDifference = 0.1;    // a repeat matching worse than this is no pitch
const uint32_t kCoarseWindow = 8192;
const uint32_t kLongWindow = 32768;
const double kPi = 3.14159265358979323846;

// How unlike itself the part is `lag` frames later, over `window` frames from `from`:
// the squared difference over the energy, 0 for a perfect repeat, about 1 for noise.
double difference(const float *x, uint32_t from, uint32_t window, uint32_t lag) {
    double residual = 0.0, energy = 0.0;
    const float *a = x + from, *b = x + from + lag;
    for (uint32_t i = 0; i < window; ++i) {
        double d = (double)a[i] - b[i];
        residual += d * d;
        energy += (double)a[i] * a[i] + (double)b[i] * b[i];
    }
    return energy > 1e-12 ? residual / energy : 1.0;
}

// Where between lag - 1 and lag + 1 the difference is least. Near its minimum the
// difference of a tone of period `period` goes as 1 - cos(2 pi (lag - minimum) /
// period): fitting that curve to the three differences finds the minimum to a small
// part of a frame even when a period spans only a few frames (a parabola would not).
// least: the fitted curve's lowest value, where the integer lags may all lie above it.
double refineLag(const float *x, uint32_t from, uint32_t window, uint32_t lag, double at, double period,
                 double *least = nullptr) {
    const double before = difference(x, from, window, lag - 1), after = difference(x, from, window, lag + 1);
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

// The best lag in [low, high] (integers) and its difference.
uint32_t bestLag(const float *x, uint32_t from, uint32_t window, uint32_t low, uint32_t high, double &best) {
    uint32_t lag = low;
    best = 2.0;
    for (uint32_t l = low; l <= high; ++l) {
        double d = difference(x, from, window, l);
        if (d < best) best = d, lag = l;
    }
    return lag;
}

}  // namespace

MeasuredPitch measurePitch(const float *x, uint32_t from, uint32_t to, double nominalPeriod) {
    MeasuredPitch none = {false, 0.0, 0.0};
    if (!x || to <= from || !(nominalPeriod >= 2.0)) return none;
    const uint32_t length = to - from;
    const double spread = std::pow(2.0, kSearchSemitones / 12.0);
    const uint32_t low = (uint32_t)std::floor(nominalPeriod / spread), high = (uint32_t)std::ceil(nominalPeriod * spread);
    // Room for the longest lag and a few periods to compare.
    if (low < 3 || (uint64_t)high + 2 + 3 * (uint64_t)high > length) return none;
    uint32_t window = length - high - 2;
    if (window > kCoarseWindow) window = kCoarseWindow;
    // A frame either side, so that the refined minimum may lie anywhere in the range.
    double best, least;
    uint32_t lag = bestLag(x, from, window, low - 1, high + 1, best);
    if (lag < low || lag > high) return none;
    double period = refineLag(x, from, window, lag, best, nominalPeriod, &least);
    if (least > kMaxDifference || period < nominalPeriod / spread || period > nominalPeriod * spread) return none;

    // Over ever more periods, four times as many each step, as far as half the part:
    // each step's estimate puts the next lag within a frame or two.
    for (uint32_t periods = 4; periods * period <= length / 2; periods *= 4) {
        uint32_t around = (uint32_t)std::floor(periods * period + 0.5);
        uint32_t longWindow = length - around - 3;
        if (longWindow > kLongWindow) longWindow = kLongWindow;
        double longBest;
        uint32_t longLag = bestLag(x, from, longWindow, around - 1, around + 1, longBest);
        double refined = refineLag(x, from, longWindow, longLag, longBest, period) / periods;
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
