#include "export/shaped_take.h"

#include "export/export_memory.h"
#include "export/export_choices.h"
#include "export/offline_render.h"

namespace {

const uint32_t kPointsAfterLoop = 32;

}  // namespace

void heldPart(int32_t holdFrames, int32_t totalFrames, uint32_t &from, uint32_t &to) {
    int32_t noteOff = holdFrames / kExportBlock;
    noteOff = (noteOff < 1 ? 1 : noteOff) * kExportBlock;
    if (noteOff > totalFrames) noteOff = totalFrames;
    to = (uint32_t)(noteOff > 0 ? noteOff : 0);
    from = to / 4;
}

TakeShape shapeTake(OfflineRender &render, int rootKey, bool loop, bool trim, ExportReport &report) {
    TakeShape shape = {render.timing.totalFrames, SustainLoop{false, 0, 0, 1.0f}};
    int rate = render.timing.rate;
    uint32_t total = (uint32_t)render.timing.totalFrames;
    float *channels[2] = {render.take[0], render.take[1]};
    if (loop) {
        uint32_t from, to;
        heldPart(render.timing.holdFrames, render.timing.totalFrames, from, to);
        size_t bytes = (size_t)to * sizeof(float);
        float *mono = channels[0] ? (float *)takeExportMemory(kLoopSearchMemory, bytes) : nullptr;
        if (mono) {
            for (uint32_t i = 0; i < to; ++i) mono[i] = channels[0][i] + channels[1][i];
            shape.loop = findSustainLoop(mono, to, from, to, keyPeriod(rootKey, rate), rate);
            returnExportMemory(kLoopSearchMemory, mono, bytes);
        }
        if (shape.loop.found) {
            uint32_t fade = crossfadeFrames(shape.loop, rate);
            for (float *channel : channels) writeLoopCrossfade(channel, shape.loop, fade);
        } else {
            report.unlooped++;
        }
    }
    if (trim && channels[0]) {
        const float *const both[2] = {channels[0], channels[1]};
        // A looped sample keeps some points after its loop, as samplers expect.
        uint32_t keep = shape.loop.found ? shape.loop.end + kPointsAfterLoop : 0;
        uint32_t frames = trimmedFrames(both, 2, total, keep, rate);
        if (frames < total) {
            for (float *channel : channels) fadeOutTail(channel, frames, rate);
            shape.frames = (int32_t)frames;
        }
    }
    return shape;
}

bool renderPlannedTake(OfflineRender &render, const PlannedTake &take, const uint8_t *keys, int ordinal, int takes,
                       const ExportSettings &settings, TakeShape &shape, ExportReport &report) {
    reportTakeStarted(render, ordinal, takes);
    render.velocity = take.layer.velocity;
    if (!resetPluginForTake(render) || !renderTake(render, keys + take.firstKey, take.keyCount)) return false;
    shape = shapeTake(render, take.rootKey, settings.loop, settings.trim, report);
    return true;
}
