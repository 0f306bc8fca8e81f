// How an export shares its takes among several instances of the instrument: how many
// instances, whether an instance other than the live one sounds the same, and the
// order in which finished takes go to the files. Pure logic; the threads and the
// instances are export_run's.
#pragma once

#include <cstddef>

const int kMaxExportInstances = 8;

// Instances an export renders on: 1 when the setting asks for one; otherwise one per
// processor, at most kMaxExportInstances, no more than the takes (the groups of them
// an instance claims at once: see TakeTurns), and no more than
// the takes in flight (three buffers of takeBytes each) that fit the budget. A take
// too large for memory (it goes through temporary files) does not limit the count.
int exportInstanceCount(bool automatic, int processors, int takes, size_t takeBytes, size_t budget);

// Whether an instrument costing this much per frame (its probe take timed) is worth
// sharing the takes among instances: one cheaper than kCheapestShared ns a frame costs
// less than writing its files, so more instances only add their hand-overs.
const double kCheapestShared = 10.0;
bool worthSharing(double nsPerFrame);

// The probe's verdict: two takes of the same instance (first, second) show the
// instrument's own variation; another instance's take of the same notes (other) is
// faithful when it is no further from the nearer of them than kProbeVariationRoom
// times that (one random take lies further from another than the two did as often as
// not), with room for rounding (1e-6 of the first's level). Mean squared differences
// over the frames of both channels.
const double kProbeVariationRoom = 4.0;
struct ProbeTakes {
    const float *first[2];
    const float *second[2];
    const float *other[2];
    size_t frames;
};
bool probeFaithful(const ProbeTakes &takes);

// The turns of an export's takes among its instances. Each instance claims the next
// group of takes of the plan (a key's variations of one layer, which the plan puts in
// a row: one instance plays them one after the other, as a single instance would, so
// its own round robin carries from one to the next), renders each and hands it to the
// files only at its turn, when every take before it has been handed; until then it
// waits with its take (so at most one take per instance is in flight). After a stop
// nothing more is claimed and no take has its turn.
struct TakeTurns {
    int takes;     // in the plan
    int group;     // takes claimed at once
    int claimed;   // takes given out so far
    int handed;    // takes handed to the files (or left out) so far, in the plan's order
    int told;      // takes started so far (the progress counts them)
    bool stopped;  // cancelled: no more claims, no more turns
};
TakeTurns takeTurns(int takes, int group);
// The next group for an instance: its first take's index and *count takes; -1 when
// none is left (or stopped).
int claimTakes(TakeTurns &turns, int *count);
// Whether the take at this index may go to the files now.
bool takesTurn(const TakeTurns &turns, int index);
// The take at the turn has gone to the files: the next one's turn.
void takeHanded(TakeTurns &turns);
