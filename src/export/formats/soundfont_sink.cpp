#include "export/formats/soundfont_sink.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/byte_order.h"
#include "export/formats/sample_names.h"

namespace {

void patchSize(OutputWriter &writer, OutputFile &file, uint64_t at, uint32_t value) {
    uint8_t bytes[4];
    putLe32(bytes, value);
    patchOutput(writer, file, at, bytes, 4);
}

}  // namespace

bool SoundFontSink::begin(const ExportSettings &settings, const ExportPlan &plan, ExportMemory *memory,
                          ExportReport &report) {
    report.planned += 1;
    PathParts parts;
    splitPath(settings.fileName, parts);
    snprintf(preset_, sizeof preset_, "%s", parts.base);
    if (!renameStored(report, parts, ".sf2")) {
        reportFailure(report, kNameTooLong, settings.fileName, 0);
        return false;
    }
    channels_ = plan.channels;
    rate_ = plan.timing.rate;
    releaseMs_ = settings.releaseMs;
    takes_ = plan.takeCount;
    layered_ = plan.layerCount > 1;
    deep_ = heldSampleFormat(kExportSoundFont, settings.sampleFormat) == kWavDepth24;
    // Sized for every take at its full length and looped: trimming only shortens.
    int samples = takes_ * channels_, curved = layered_ ? samples : 0;
    SoundFontLayout layout =
        soundFontLayout(samples, (uint32_t)plan.timing.totalFrames, settings.loop ? samples : 0, curved, deep_);
    if (!layout.fits()) {
        reportFailure(report, kTooLarge, report.fileName, 0);
        return false;
    }
    list_ = (SoundFontTake *)calloc((size_t)takes_ + 1, sizeof(SoundFontTake));
    pdta_ = (uint8_t *)malloc(pdtaListBytes(samples, settings.loop ? samples : 0, curved));
    // The lowest 8 bits of every point follow all of the smpl chunk: kept until then.
    lowUsed_ = 0;
    low_ = deep_ ? (uint8_t *)calloc((size_t)layout.sm24Size + 1, 1) : nullptr;
    if (!list_ || !pdta_ || (deep_ && !low_)) {
        reportFailure(report, kNotWritten, report.fileName, ERROR_NOT_ENOUGH_MEMORY);
        release();
        return false;
    }
    if (!startExportOutput(writer_, 1, memory, report)) {
        release();
        return false;
    }
    if (!openExportOutput(out_, report.fileName, report)) {
        stopOutputWriter(writer_);
        release();
        return false;
    }
    uint8_t head[kSoundFontHeadSize];
    buildSoundFontHead(head, (uint32_t)layout.smplSize, deep_);
    outputBytes(writer_, out_.file, head, sizeof head);
    return true;
}

void SoundFontSink::add(const FinishedTake &take, ExportReport &) {
    // A take short of frames is padded with silence, keeping the SoundFont valid, and reported.
    out_.incomplete = out_.incomplete || !take.complete;
    const TakeSide sides[2][2] = {{kMonoMix, kMonoMix}, {kLeftSide, kRightSide}};
    for (int side = 0; side < channels_; ++side) {
        if (deep_) {
            appendTakeSamples(writer_, out_.file, take, sides[channels_ - 1][side], kWavDepth24, take.frames,
                              low_ + lowUsed_);
            lowUsed_ += take.frames + kSampleGuardPoints;  // the guard points' low bytes stay 0
        } else {
            appendTakeSamples(writer_, out_.file, take, sides[channels_ - 1][side], kWavDepth16, take.frames);
        }
        memset(outputRoom(writer_, out_.file, kSampleGuardPoints * 2), 0, kSampleGuardPoints * 2);
    }
    const PlannedTake &planned = *take.planned;
    list_[take.ordinal - 1] =
        SoundFontTake{planned.rootKey,  planned.lowKey,     planned.highKey,
                      planned.layer.low, planned.layer.high, planned.layered ? planned.layer.velocity : (uint8_t)0,
                      take.frames,       take.loop.found,    take.loop.start,
                      take.loop.end,     take.tuningCents,   take.levelDb,
                      0.0f};
}

void SoundFontSink::finish(ExportReport &report) {
    OutputFile &file = out_.file;
    uint64_t smplSize = file.queued - kSmplSizeAt - 4;
    uint64_t sdtaSize = smplSize + 12;
    if (deep_) {
        uint64_t sm24Size = sm24ChunkSize(smplSize);  // the pad byte after an odd count is 0 (calloc)
        uint8_t header[8];
        memcpy(header, "sm24", 4);
        putLe32(header + 4, (uint32_t)sm24Size);
        outputBytes(writer_, file, header, sizeof header);
        outputBytes(writer_, file, low_, (size_t)sm24Size);
        sdtaSize += 8 + sm24Size;
    }
    uint64_t pdtaAt = file.queued;
    if (layered_) levelVelocityCurves(list_, takes_);
    SoundFontTakes takes = {list_, takes_, channels_, rate_, preset_, releaseMs_, layered_};
    buildPdtaList(pdta_, takes);
    // The list written is as long as its own size field says (fewer loops than planned).
    uint32_t listBytes = getLe32(pdta_ + 4) + 8;
    outputBytes(writer_, file, pdta_, listBytes);
    uint64_t end = file.queued;
    patchSize(writer_, file, kRiffSizeAt, (uint32_t)(end - kRiffSizeAt - 4));
    patchSize(writer_, file, kInfoSizeAt, (uint32_t)(kSdtaSizeAt - 4 - kInfoSizeAt - 4));
    patchSize(writer_, file, kSdtaSizeAt, (uint32_t)sdtaSize);
    patchSize(writer_, file, kSmplSizeAt, (uint32_t)smplSize);
    patchSize(writer_, file, pdtaAt + 4, (uint32_t)(end - pdtaAt - 8));
    closeOutput(writer_, file, false);
    finishExportOutput(writer_, &out_, 1, report);
    release();
}

void SoundFontSink::cancel(ExportReport &report) {
    // One file for every take: a cancelled SoundFont is not written at all.
    closeOutput(writer_, out_.file, true);
    out_.removed = true;
    finishExportOutput(writer_, &out_, 1, report);
    release();
}

void SoundFontSink::release() {
    free(pdta_);
    free(list_);
    free(low_);
    pdta_ = nullptr;
    list_ = nullptr;
    low_ = nullptr;
}
