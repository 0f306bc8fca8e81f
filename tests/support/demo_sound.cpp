#include "support/demo_sound.h"

namespace testing_support {

namespace {
// The editor's layout: 12-pixel margins, an 8-pixel level bar at the bottom, and
// above it three rows of 14 pixels, 18 apart.
const int kMargin = 12;
const int kLevelBar = 8;
const int kRowHeight = 14;
const int kRowPitch = 18;
const int kRows = 3;
}  // namespace

POINT demoSoundPoint(int row, double fraction, int width, int height) {
    const int bottom = height - 2 * kMargin - kLevelBar;
    const int top = bottom - (kRows - row) * kRowPitch + (kRowPitch - kRowHeight);
    const int rowWidth = width - 2 * kMargin;
    return {kMargin + (LONG)(fraction * (rowWidth - 1) + 0.5), top + kRowHeight / 2};
}

float demoSoundValue(int x, int width) { return (float)(x - kMargin) / (float)(width - 2 * kMargin - 1); }

void clickEditor(HWND editor, POINT at) {
    SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    SendMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
}

std::vector<float> noteSamples(const std::vector<float> &channel, size_t from, size_t count) {
    size_t start = from;
    while (start < channel.size() && channel[start] == 0.0f) ++start;
    if (start >= channel.size() || channel.size() - start < count) return {};
    return std::vector<float>(channel.begin() + start, channel.begin() + start + count);
}

}  // namespace testing_support
