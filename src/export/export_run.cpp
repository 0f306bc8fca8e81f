#include "export/export_run.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "export/offline_render.h"
#include "export/sample_output.h"
#include "export/soundfont_writer.h"

const ExportSettings kDefaultExportSettings = {
    "", kExportWav, kWavDepth16, 3, kExportStereo, 2000, 500, 127, 0, kExportMultisample, 0};

namespace {

// Formats one line with up to two numbers and adds it after a line break (none
// before the first line), cut to what fits; out stays terminated.
void appendFormattedLine(wchar_t *out, size_t size, const wchar_t *format, int a, int b) {
    wchar_t line[512];
    int n = swprintf(line, 512, format, a, b);
    if (n < 0) return;
    size_t used = wcslen(out);
    if (used && used + 1 < size) out[used++] = L'\n';
    for (int i = 0; i < n && used + 1 < size; ++i) out[used++] = line[i];
    out[used] = L'\0';
}

}  // namespace

void noteExportFailure(ExportReport &report, const char *path, unsigned long systemError) {
    if (report.listed >= kListedExportFailures) return;
    ExportFailure &f = report.failures[report.listed++];
    snprintf(f.path, sizeof f.path, "%s", path ? path : "");
    f.systemError = systemError;
}

ExportReport runExport(const ExportSettings &settings, const uint8_t *keySelection, HWND progress) {
    ExportReport report = {};
    memcpy(report.fileName, settings.fileName, sizeof report.fileName);
    report.fileName[kExportNameSize - 1] = '\0';
    OfflineRender render;
    if (beginOfflineRender(render, settings, keySelection, progress)) {
        if (settings.fileType == kExportSoundFont)
            writeSoundFont(render, settings, keySelection, report);
        else if (settings.mode == kExportChord)
            writeChordWav(render, settings, keySelection, report);
        else
            writeKeyWavs(render, settings, keySelection, report);
    } else {
        // Without its buffers nothing can be rendered: every planned file is missing.
        report.planned += 1;
        report.notWritten += 1;
    }
    endOfflineRender(render);
    return report;
}

bool exportReportText(const ExportReport &report, const wchar_t *const texts[6], wchar_t *out, size_t size) {
    if (size == 0) return false;
    out[0] = L'\0';
    int failed = report.failed();
    if (failed == 0) return false;
    // One file that could not be created says just that.
    if (report.planned == 1 && report.notCreated == 1 && failed == 1) {
        appendFormattedLine(out, size, texts[0], 0, 0);
        return true;
    }
    appendFormattedLine(out, size, texts[1], failed, report.planned);
    const int counts[4] = {report.notCreated, report.nameTooLong, report.notWritten, report.tooLarge};
    for (int i = 0; i < 4; ++i)
        if (counts[i]) appendFormattedLine(out, size, texts[2 + i], counts[i], 0);
    return true;
}
