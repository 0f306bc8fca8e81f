#include "export/takes/export_choices.h"

const ExportSettings kDefaultExportSettings = {
    "", kExportWav, kWavDepth16, 3, kExportStereo, 2000, 500, 127, 0, kExportMultisample, 0, 1, false, false, false, false, 1,
    kInstancesAutomatic};

int sampleFormatsHeld(ExportFileType type) { return type == kExportSoundFont ? 2 : 3; }

WavDepth heldSampleFormat(ExportFileType type, WavDepth chosen) {
    const int held = sampleFormatsHeld(type);
    return (int)chosen < held ? chosen : (WavDepth)(held - 1);
}
