#include "export/takes/export_report.h"

#include <cstdio>
#include <cwchar>

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

void reportFailure(ExportReport &report, ExportFailureKind kind, const char *path, unsigned long systemError,
                   int count) {
    int *counts[kFailureKinds] = {&report.notCreated, &report.nameTooLong, &report.notWritten, &report.tooLarge,
                                  &report.setIncomplete};
    *counts[kind] += count;
    if (count <= 0 || report.listed >= kListedExportFailures) return;
    ExportFailure &f = report.failures[report.listed++];
    snprintf(f.path, sizeof f.path, "%s", path ? path : "");
    f.kind = kind;
    f.systemError = systemError;
}

const wchar_t *formForTotal(const wchar_t *const forms[2], int total) { return forms[total == 1 ? 1 : 0]; }

bool exportReportText(const ExportReport &report, const ExportEndTexts &texts, wchar_t *out, size_t size) {
    if (size == 0) return false;
    out[0] = L'\0';
    int failed = report.failed();
    if (failed == 0) return false;
    // One file that could not be created says just that.
    if (report.planned == 1 && report.notCreated == 1 && failed == 1) {
        appendFormattedLine(out, size, texts.cannotCreate, 0, 0);
        return true;
    }
    appendFormattedLine(out, size, formForTotal(texts.notWritten, report.planned), failed, report.planned);
    const int counts[kFailureKinds] = {report.notCreated, report.nameTooLong, report.notWritten, report.tooLarge,
                                       report.setIncomplete};
    for (int i = 0; i < kFailureKinds; ++i)
        if (counts[i]) appendFormattedLine(out, size, texts.reasons[i], counts[i], 0);
    return true;
}

void exportCancelText(const ExportReport &report, const ExportEndTexts &texts, wchar_t *out, size_t size) {
    if (size == 0) return;
    out[0] = L'\0';
    if (report.written > 0)
        appendFormattedLine(out, size, formForTotal(texts.cancelledFiles, report.planned), report.written,
                            report.planned);
    else
        appendFormattedLine(out, size, texts.cancelledNone, 0, 0);
    wchar_t failures[1024];
    if (exportReportText(report, texts, failures, 1024)) {
        size_t used = wcslen(out);
        if (used + 1 < size) {
            out[used++] = L'\n';
            out[used] = L'\0';
        }
        wcsncat(out, failures, size - wcslen(out) - 1);
    }
}

void exportNotesText(const ExportReport &report, const wchar_t *const texts[kExportNoteTexts], wchar_t *out,
                     size_t size) {
    if (size == 0) return;
    out[0] = L'\0';
    auto note = [&](const wchar_t *text, auto value) {
        size_t used = wcslen(out);
        if (used && used < size) _snwprintf(out + used, size - used, L"%ls", texts[kNoteSeparator]);
        used = wcslen(out);
        if (used < size) _snwprintf(out + used, size - used, text, value);
        out[size - 1] = L'\0';
    };
    auto count = [&](int n, ExportNoteText plural) {
        if (n) note(texts[n == 1 ? plural + 1 : plural], n);
    };
    count(report.unlooped, kNoteUnlooped);
    count(report.unpitched, kNoteUnpitched);
    count(report.clipped, kNoteClipped);
    if (report.normalised) note(texts[kNoteNormalised], (double)report.gainDb);
    // Every variation after the first the same as it: the instrument does not vary.
    const int later = report.variations > 1 ? report.takes - report.takes / report.variations : 0;
    if (later && report.variationsDropped == later)
        note(texts[kNoteNoVariation], 0);
    else
        count(report.variationsDropped, kNoteRepeats);
    if (report.firstVariationOnly) note(texts[kNoteFirstVariation], 0);
    if (report.instances > 1) note(texts[kNoteInstances], report.instances);
    if (report.instanceNote != kInstancesAsAsked)
        note(texts[kNoteInstancesDiffer + (report.instanceNote - kInstancesDiffer)], 0);
}
