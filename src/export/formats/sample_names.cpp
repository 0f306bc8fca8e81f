#include "export/formats/sample_names.h"

#include <cstdio>
#include <cstring>

#include "export/takes/export_report.h"
#include "export/takes/take_plan.h"

namespace {

// Copies [begin, end) into out (room for size), cut to fit.
void copyPart(char *out, size_t size, const char *begin, const char *end) {
    size_t n = (size_t)(end - begin);
    if (n >= size) n = size - 1;
    memcpy(out, begin, n);
    out[n] = '\0';
}

bool isForbidden(char c) { return (unsigned char)c < 32 || strchr("<>:\"|?*", c) != nullptr; }

// Whether the part (up to its first dot, blanks before it ignored) names a device.
bool isReservedPart(const char *begin, const char *end) {
    const char *stem = begin;
    while (stem < end && *stem != '.') ++stem;
    while (stem > begin && stem[-1] == ' ') --stem;
    size_t n = (size_t)(stem - begin);
    char upper[5] = "";
    if (n < 3 || n > 4) return false;
    for (size_t i = 0; i < n; ++i) upper[i] = (char)(begin[i] >= 'a' && begin[i] <= 'z' ? begin[i] - 32 : begin[i]);
    upper[n] = '\0';
    if (n == 3) return !strcmp(upper, "CON") || !strcmp(upper, "PRN") || !strcmp(upper, "AUX") || !strcmp(upper, "NUL");
    return (!strncmp(upper, "COM", 3) || !strncmp(upper, "LPT", 3)) && upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

bool isPathSeparator(char c) { return c == '\\' || c == '/'; }

ExportNameCheck checkExportName(const char *name) {
    ExportNameCheck check = {kNameFine, 0, ""};
    const char *p = name;
    if (((p[0] | 32) >= 'a' && (p[0] | 32) <= 'z') && p[1] == ':') p += 2;  // a drive's colon
    const char *end = p + strlen(p);
    for (const char *q = p; q < end; ++q) {
        if (isForbidden(*q)) {
            check.problem = kNameForbiddenCharacter;
            check.character = *q;
            return check;
        }
    }
    for (const char *part = p; part <= end;) {
        const char *partEnd = part;
        while (partEnd < end && !isPathSeparator(*partEnd)) ++partEnd;
        if (isReservedPart(part, partEnd)) {
            check.problem = kNameReserved;
            copyPart(check.part, sizeof check.part, part, partEnd);
            return check;
        }
        if (partEnd == end) {
            // The last part is the files' name: it needs something besides blanks and dots.
            bool blank = true;
            for (const char *q = part; q < end; ++q) blank = blank && (*q == ' ' || *q == '.');
            if (blank) check.problem = kNameBlank;
            return check;
        }
        part = partEnd + 1;
    }
    return check;
}

void splitPath(const char *path, PathParts &parts) {
    const char *p = path;
    if (p[0] && p[1] == ':') {
        copyPart(parts.drive, sizeof parts.drive, p, p + 2);
        p += 2;
    } else {
        parts.drive[0] = '\0';
    }
    const char *end = p + strlen(p);
    const char *afterFolder = p;
    for (const char *q = p; q < end; ++q)
        if (isPathSeparator(*q)) afterFolder = q + 1;
    copyPart(parts.folder, sizeof parts.folder, p, afterFolder);
    const char *dot = nullptr;
    for (const char *q = afterFolder; q < end; ++q)
        if (*q == '.') dot = q;
    if (!dot) dot = end;
    copyPart(parts.base, sizeof parts.base, afterFolder, dot);
    copyPart(parts.extension, sizeof parts.extension, dot, end);
}

bool placeExportName(const char *name, const char *defaultFolder, char *out, size_t size) {
    bool ownFolder = (name[0] && name[1] == ':') || isPathSeparator(name[0]);
    size_t folderLength = ownFolder ? 0 : strlen(defaultFolder);
    const char *slash = folderLength && !isPathSeparator(defaultFolder[folderLength - 1]) ? "\\" : "";
    int n = snprintf(out, size, "%s%s%s", ownFolder ? "" : defaultFolder, ownFolder ? "" : slash, name);
    if (n < 0 || (size_t)n >= size) {
        if (size) out[0] = '\0';
        return false;
    }
    return true;
}

bool buildPath(char *out, size_t size, const PathParts &parts, const char *extension) {
    size_t folderLength = strlen(parts.folder);
    const char *slash = folderLength && !isPathSeparator(parts.folder[folderLength - 1]) ? "\\" : "";
    const char *dot = extension[0] && extension[0] != '.' ? "." : "";
    int n = snprintf(out, size, "%s%s%s%s%s%s", parts.drive, parts.folder, slash, parts.base, dot, extension);
    if (n < 0 || (size_t)n >= size) {
        if (size) out[0] = '\0';
        return false;
    }
    return true;
}

bool keyFileName(char *out, size_t size, const PathParts &parts, int key, int velocity, int variation) {
    char note[8] = "", layer[8] = "", round[8] = "";
    if (key >= 0) {
        note[0] = '_';
        noteName(key, note + 1, sizeof note - 1);
    }
    if (velocity >= 0) snprintf(layer, sizeof layer, "_v%d", velocity & 0x7F);
    if (variation >= 0) snprintf(round, sizeof round, "_rr%d", variation & 0x7F);
    int n = snprintf(out, size, "%s%s%s%s%s%s%s", parts.drive, parts.folder, parts.base, note, layer, round, ".wav");
    if (n < 0 || (size_t)n >= size || n >= kPathLimit) {
        if (size) out[0] = '\0';
        return false;
    }
    return true;
}

bool renameStored(ExportReport &report, const PathParts &parts, const char *extension) {
    char rebuilt[kExportNameSize];
    if (!buildPath(rebuilt, sizeof rebuilt, parts, extension)) return false;
    memcpy(report.fileName, rebuilt, sizeof rebuilt);
    return true;
}
