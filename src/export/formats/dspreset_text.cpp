#include "export/formats/dspreset_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const size_t kSampleRoom = 256;  // one sample's line without its path
const size_t kPathRoom = 6 * 260;  // a path with every character escaped

// Appends printf-style text at *at; false when it does not fit.
template <typename... Args>
bool add(char *out, size_t size, size_t *at, const char *format, Args... args) {
    if (*at >= size) return false;
    int n = snprintf(out + *at, size - *at, format, args...);
    if (n < 0 || (size_t)n >= size - *at) return false;
    *at += (size_t)n;
    return true;
}

// The path as an attribute value: &, <, > and quotes escaped; false for a control character.
bool addPath(char *out, size_t size, size_t *at, const char *path) {
    for (const unsigned char *p = (const unsigned char *)path; *p; ++p) {
        if (*p < 0x20) return false;
        const char *escaped = *p == '&' ? "&amp;" : *p == '<' ? "&lt;" : *p == '>' ? "&gt;" : *p == '"' ? "&quot;"
                              : *p == '\'' ? "&apos;" : nullptr;
        bool fits = escaped ? add(out, size, at, "%s", escaped) : add(out, size, at, "%c", (char)*p);
        if (!fits) return false;
    }
    return true;
}

}  // namespace

DsGroupCurve dsGroupCurve(int lowVelocity, int highVelocity, float slopeDb) {
    const int bottom = lowVelocity > 0 ? lowVelocity - 1 : 0;
    const double r = std::pow(10.0, -slopeDb * (highVelocity - bottom) / 20.0);  // the bottom's gain
    const double a = bottom / 127.0, b = highVelocity / 127.0;
    // 1 - t + t a = r (1 - t + t b), solved for t.
    const double denominator = (1.0 - a) - r * (1.0 - b);
    double t = denominator > 0.0 ? (1.0 - r) / denominator : 0.0;
    t = t < 0.0 ? 0.0 : t > 1.0 ? 1.0 : t;
    return DsGroupCurve{(float)t, (float)(-20.0 * std::log10(1.0 - t + t * b))};
}

size_t dsPresetRoom(int count, int layers) {
    return 512 + (size_t)(layers > 0 ? layers : 0) * 64 + (size_t)(count > 0 ? count : 0) * (kSampleRoom + kPathRoom);
}

size_t formatDsPreset(char *out, size_t size, const DsSample *samples, int count, int layers, int releaseMs) {
    if (releaseMs < 0) releaseMs = 0;
    size_t at = 0;
    bool ok = add(out, size, &at, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- Exported by Korvane -->\n") &&
              add(out, size, &at, "<DecentSampler minVersion=\"1.0.0\">\n") &&
              add(out, size, &at, "  <groups attack=\"0\" decay=\"0\" sustain=\"1\" release=\"%d.%03d\">\n",
                  releaseMs / 1000, releaseMs % 1000);
    for (int layer = 0; ok && layer < layers; ++layer) {
        int members = 0, low = 0, high = 127;
        double slope = 0.0;
        for (int i = 0; i < count; ++i) {
            if (samples[i].layerIndex != layer) continue;
            slope += samples[i].velocitySlopeDb;
            low = samples[i].lowVelocity, high = samples[i].highVelocity;
            ++members;
        }
        if (layers > 1 && members) {
            const DsGroupCurve curve = dsGroupCurve(low, high, (float)(slope / members));
            ok = add(out, size, &at, "    <group ampVelTrack=\"%.4f\" volume=\"%.2fdB\">\n", curve.ampVelTrack,
                     curve.volumeDb);
        } else {
            ok = add(out, size, &at, "    <group>\n");
        }
        for (int i = 0; ok && i < count; ++i) {
            const DsSample &s = samples[i];
            if (s.layerIndex != layer) continue;
            ok = add(out, size, &at, "      <sample path=\"") && addPath(out, size, &at, s.path) &&
                 add(out, size, &at, "\" rootNote=\"%u\" loNote=\"%u\" hiNote=\"%u\" loVel=\"%u\" hiVel=\"%u\"",
                     s.rootKey, s.lowKey, s.highKey, s.lowVelocity, s.highVelocity);
            if (ok && s.seqLength > 1)
                ok = add(out, size, &at, " seqMode=\"round_robin\" seqLength=\"%d\" seqPosition=\"%d\"", s.seqLength,
                         s.seqPosition);
            // The sample's tuning in semitones, back onto its key's pitch.
            if (ok && s.tuningCents)
                ok = add(out, size, &at, " tuning=\"%s%d.%02d\"", s.tuningCents > 0 ? "-" : "",
                         std::abs(s.tuningCents) / 100, std::abs(s.tuningCents) % 100);
            // Decent Sampler names the loop's last frame, as SFZ does.
            if (ok && s.looped)
                ok = add(out, size, &at, " loopStart=\"%lu\" loopEnd=\"%lu\" loopEnabled=\"true\"",
                         (unsigned long)s.loopStart, (unsigned long)(s.loopEnd - 1));
            ok = ok && add(out, size, &at, "/>\n");
        }
        ok = ok && add(out, size, &at, "    </group>\n");
    }
    ok = ok && add(out, size, &at, "  </groups>\n</DecentSampler>\n");
    if (!ok) {
        if (size) out[0] = '\0';
        return 0;
    }
    return at;
}
