// The demo instrument's sound variants as a test drives and hears them: where its
// editor's sound controls are, and the samples of one note from its first sound on.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

namespace testing_support {

// The rows of the sound controls in the demo's editor (fixtures/demo_plugin/README.md).
enum DemoSoundRow { kDemoProgramRow = 0, kDemoLevelRow, kDemoTimbreRow };

// The point of the row a click at this fraction of its width lands on, in the
// editor's client coordinates, for an editor of this size.
POINT demoSoundPoint(int row, double fraction, int width = 400, int height = 300);

// The value a click at that point sets (a level or a timbre).
float demoSoundValue(int x, int width = 400);

// A click with the left button, as the editor window receives it.
void clickEditor(HWND editor, POINT at);

// count samples of the channel from the first one after `from` that is not 0: a
// note of the demo starts at a block's start from silence, so the same sound gives
// the same samples wherever the block fell. Empty when fewer are left.
std::vector<float> noteSamples(const std::vector<float> &channel, size_t from, size_t count);

}  // namespace testing_support
