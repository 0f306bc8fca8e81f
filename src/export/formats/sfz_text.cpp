#include "export/formats/sfz_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

size_t finished(int written, size_t size) { return written > 0 && (size_t)written < size ? (size_t)written : 0; }

}  // namespace

size_t formatSfzHead(char *out, size_t size, int releaseMs) {
    if (releaseMs < 0) releaseMs = 0;
    int written = snprintf(out, size, "// Exported by Korvane\n<global>\nampeg_release=%d.%03d\n\n", releaseMs / 1000,
                           releaseMs % 1000);
    return finished(written, size);
}

size_t formatSfzRegion(char *out, size_t size, const SfzRegion &r) {
    if (!r.sample) return 0;
    for (const char *p = r.sample; *p; ++p)
        if ((unsigned char)*p < 0x20) return 0;
    int written = snprintf(out, size, "<region> lokey=%u hikey=%u pitch_keycenter=%u lovel=%u hivel=%u", r.lowKey,
                           r.highKey, r.rootKey, r.lowVelocity, r.highVelocity);
    size_t at = finished(written, size);
    if (!at) return 0;
    if (r.seqLength > 1) {
        written = snprintf(out + at, size - at, " seq_length=%d seq_position=%d", r.seqLength, r.seqPosition);
        size_t more = finished(written, size - at);
        if (!more) return 0;
        at += more;
    }
    if (r.curved) {
        // Points at the bottom (the layer below's top), every 16th velocity and the top,
        // the player drawing straight lines in amplitude between them.
        for (int v = r.lowVelocity > 0 ? r.lowVelocity - 1 : 0;;) {
            const double gain = std::pow(10.0, -r.velocitySlopeDb * (r.highVelocity - v) / 20.0);
            written = snprintf(out + at, size - at, " amp_velcurve_%d=%.6g", v, gain);
            size_t more = finished(written, size - at);
            if (!more) return 0;
            at += more;
            if (v >= r.highVelocity) break;
            const int next = (v / 16 + 1) * 16;
            v = next < r.highVelocity ? next : r.highVelocity;
        }
    }
    if (r.tuningCents) {
        written = snprintf(out + at, size - at, " tune=%d", -r.tuningCents);
        size_t more = finished(written, size - at);
        if (!more) return 0;
        at += more;
    }
    if (r.looped) {
        // SFZ names the loop's last point, inclusive.
        written = snprintf(out + at, size - at, " loop_mode=loop_sustain loop_start=%lu loop_end=%lu",
                           (unsigned long)r.loopStart, (unsigned long)(r.loopEnd - 1));
        size_t more = finished(written, size - at);
        if (!more) return 0;
        at += more;
    }
    // Last on the line: a name may hold spaces, which end every other opcode's value.
    written = snprintf(out + at, size - at, " sample=%s\n", r.sample);
    size_t more = finished(written, size - at);
    return more ? at + more : 0;
}
