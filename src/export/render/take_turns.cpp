#include "export/render/take_turns.h"

int exportInstanceCount(bool automatic, int processors, int takes, size_t takeBytes, size_t budget) {
    if (!automatic) return 1;
    int count = processors < kMaxExportInstances ? processors : kMaxExportInstances;
    if (takes < count) count = takes;
    // A take in memory holds its two channels and their sum; one more beyond the budget
    // goes through the temporary files, held by none.
    const size_t inFlight = 3 * takeBytes;
    if (takeBytes > 0 && inFlight <= budget && (size_t)count * inFlight > budget) count = (int)(budget / inFlight);
    return count < 1 ? 1 : count;
}

bool worthSharing(double nsPerFrame) { return nsPerFrame >= kCheapestShared; }

namespace {

double meanSquare(const float *a, const float *b, size_t frames) {
    double sum = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        const double d = b ? (double)a[i] - b[i] : a[i];
        sum += d * d;
    }
    return frames ? sum / frames : 0.0;
}

}  // namespace

bool probeFaithful(const ProbeTakes &t) {
    double own = 0.0, fromFirst = 0.0, fromSecond = 0.0, level = 0.0;
    for (int c = 0; c < 2; ++c) {
        own += meanSquare(t.first[c], t.second[c], t.frames);
        fromFirst += meanSquare(t.first[c], t.other[c], t.frames);
        fromSecond += meanSquare(t.second[c], t.other[c], t.frames);
        level += meanSquare(t.first[c], nullptr, t.frames);
    }
    const double apart = fromFirst < fromSecond ? fromFirst : fromSecond;
    return apart <= kProbeVariationRoom * own + 1e-6 * level;
}

TakeTurns takeTurns(int takes, int group) {
    return TakeTurns{takes < 0 ? 0 : takes, group < 1 ? 1 : group, 0, 0, 0, false};
}

int claimTakes(TakeTurns &turns, int *count) {
    *count = 0;
    if (turns.stopped || turns.claimed >= turns.takes) return -1;
    const int first = turns.claimed;
    *count = turns.takes - first < turns.group ? turns.takes - first : turns.group;
    turns.claimed += *count;
    return first;
}

bool takesTurn(const TakeTurns &turns, int index) { return !turns.stopped && index == turns.handed; }

void takeHanded(TakeTurns &turns) {
    if (turns.handed < turns.takes) turns.handed++;
}
