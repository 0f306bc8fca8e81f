// The status line as the program lays it out, in the test's own process: a static
// in the default GUI font along a main window of a given client width, the CPU meter
// taking its right-most 68 pixels.
#pragma once

#include <string>

namespace testing_support {

struct StatusShown {
    std::wstring text;
    int textWidth;  // pixels, in the status line's font
    int lineWidth;  // pixels the status line has
};

// What the status line update writes there while sound is on and no driver is open:
// after record was asked for, or with a chosen driver that is missing (null: none).
StatusShown noDriverStatusAt(int windowWidth, bool recordAsked, const char *missingDriver);

}  // namespace testing_support
