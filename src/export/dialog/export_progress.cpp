#include "export/dialog/export_progress.h"

#include <cwchar>

#include "export/takes/take_plan.h"

int64_t exportTimeLeftMs(uint64_t elapsedAtLastTake, int takesDone, int takes, uint64_t elapsedNow) {
    if (takesDone <= 0 || takes <= 0) return -1;
    double total = (double)elapsedAtLastTake / takesDone * takes;
    double left = total - (double)elapsedNow;
    return left > 0 ? (int64_t)left : 0;
}

void formatTimeLeft(int64_t ms, wchar_t *out, size_t size) {
    if (size == 0) return;
    int64_t seconds = ms <= 0 ? 0 : (ms + 999) / 1000;
    if (seconds > 359999) seconds = 359999;  // 99:59:59
    int h = (int)(seconds / 3600), m = (int)(seconds / 60 % 60), s = (int)(seconds % 60);
    if (h > 0)
        swprintf(out, size, L"%d:%02d:%02d", h, m, s);
    else
        swprintf(out, size, L"%d:%02d", m, s);
    out[size - 1] = L'\0';
}

void exportTakeLabel(const ExportProgressTexts &texts, const PlannedTake &take, bool chord, wchar_t *out,
                     size_t size) {
    if (size == 0) return;
    wchar_t plays[64];
    if (chord) {
        swprintf(plays, 64, texts.chord, (int)take.keyCount);
    } else {
        char note[8];
        noteName(take.rootKey, note, sizeof note);
        swprintf(plays, 64, L"%hs", note);
    }
    plays[63] = L'\0';
    if (take.layered)
        swprintf(out, size, texts.atVelocity, plays, (int)take.layer.velocity);
    else
        swprintf(out, size, L"%ls", plays);
    out[size - 1] = L'\0';
}

void exportProgressText(const ExportProgressTexts &texts, int ordinal, int takes, const wchar_t *label,
                        int64_t leftMs, wchar_t *out, size_t size) {
    if (size == 0) return;
    wchar_t take[160];
    swprintf(take, 160, texts.takeOf, ordinal, takes, label);
    take[159] = L'\0';
    if (leftMs < 0) {
        swprintf(out, size, L"%ls", take);
    } else {
        wchar_t left[32];
        formatTimeLeft(leftMs, left, 32);
        swprintf(out, size, texts.timeLeft, take, left);
    }
    out[size - 1] = L'\0';
}
