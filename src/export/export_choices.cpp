#include "export/export_choices.h"

#include <cstdio>

const ExportSettings kDefaultExportSettings = {
    "", kExportWav, kWavDepth16, 3, kExportStereo, 2000, 500, 127, 0, kExportMultisample, 0, 1, false, false};

void noteExportFailure(ExportReport &report, const char *path, unsigned long systemError) {
    if (report.listed >= kListedExportFailures) return;
    ExportFailure &f = report.failures[report.listed++];
    snprintf(f.path, sizeof f.path, "%s", path ? path : "");
    f.systemError = systemError;
}
