#include <gtest/gtest.h>

#include <vector>

#include "export/dialog/key_control.h"
#include "midi/midi_queue.h"

namespace {

std::vector<uint32_t> drain(MidiQueue &q) {
    std::vector<uint32_t> m(q.messages, q.messages + q.count);
    q.count = 0;
    return m;
}

KeySelection emptySelection() { return KeySelection{}; }

}  // namespace

TEST(KeyGeometry, ClientWidthsGiveKeyWidthMarginAndBlackKeys) {
    struct Case {
        int width, height, keyWidth, margin, blackWidth, blackHeight, blackInset;
    } cases[] = {
        {304, 60, 14, 5, 7, 40, 10},   // the dialog's control
        {21, 3, 1, 0, 0, 2, 0},
        {457, 91, 21, 8, 10, 60, 15},
        {20, 10, 0, 10, 0, 6, 0},      // narrower than 21 keys
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.width);
        KeyGeometry g = keyGeometry(c.width, c.height);
        EXPECT_EQ(c.keyWidth, g.keyWidth);
        EXPECT_EQ(c.margin, g.margin);
        EXPECT_EQ(c.blackWidth, g.blackWidth);
        EXPECT_EQ(c.blackHeight, g.blackHeight);
        for (int i : {0, 1, 20}) EXPECT_EQ(c.blackInset, blackKeyLeft(g, i) - whiteKeyLeft(g, i));
    }
}

TEST(KeyGeometry, NotesLabelsAndBlackKeyGapsByScrollPosition) {
    EXPECT_EQ(48, whiteKeyNote(4, 0));  // opens on notes 48..83
    EXPECT_EQ(83, whiteKeyNote(4, 20));
    EXPECT_EQ(127, whiteKeyNote(kKeyScrollMax, 18));  // the last MIDI key can be scrolled to
    EXPECT_EQ(0, whiteKeyNote(0, 0));
    EXPECT_EQ(-2, octaveLabel(0, 0));
    EXPECT_EQ(7, octaveLabel(7, 14));
    EXPECT_EQ(3, octaveLabel(4, 7));  // note 60 is labelled 3
    const int blacks[7] = {1, 3, -1, 6, 8, 10, -1};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(blacks[i] >= 0, hasBlackKeyAfter(i + 7));
        EXPECT_EQ(blacks[i] < 0 ? -1 : 60 + blacks[i], blackKeyNote(4, i + 7));
    }
}

TEST(KeyGeometry, HitTestFindsWhiteAndBlackKeysAndNothingOutside) {
    KeyGeometry g = keyGeometry(304, 60);
    struct Case {
        int x, y, note;
    } cases[] = {
        {4, 50, -1},    // left margin
        {5, 50, 48},    // first white key
        {5, 10, 48},    // left of the first black key
        {15, 10, 49},   // C# (starts at 15)
        {22, 10, 49},   // its last pixel column (offset kw / 2)
        {23, 10, 50},   // just right of it: D
        {15, 41, 48},   // below the black keys: still C
        {15, 40, 49},   // y == black height is on the black key
        {43, 10, 52},   // E: no black key after it
        {298, 50, 83},  // last white key
        {299, 50, -1},  // right margin
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        EXPECT_EQ(c.note, keyAt(g, 4, c.x, c.y));
    }
    EXPECT_EQ(119, keyAt(g, 7, 298, 50));
}

TEST(KeyControl, ScrollRequestsMoveByOctavesOrTrackTheThumb) {
    struct Case {
        int code, position, track;
        bool handled;
        int target;
    } cases[] = {
        {SB_LINELEFT, 4, 0, true, 3},  {SB_PAGELEFT, 0, 0, true, -1}, {SB_LINERIGHT, 4, 0, true, 5},
        {SB_PAGERIGHT, 7, 0, true, 8}, {SB_THUMBTRACK, 4, 6, true, 6}, {SB_THUMBPOSITION, 4, 6, false, 0},
        {SB_ENDSCROLL, 4, 0, false, 0},
    };
    for (const Case &c : cases) {
        int target = 0;
        EXPECT_EQ(c.handled, scrollRequestTarget(c.code, c.position, c.track, &target)) << c.code;
        if (c.handled) {
            EXPECT_EQ(c.target, target);
        }
    }
}

TEST(KeyControl, ClickTogglesAndDragPaintsInTheClickedKeysDirection) {
    MidiQueue queue = {};
    KeySelection sel = emptySelection();
    sel.keys[62] = 1;
    // Drag from an unselected key: keys passed become selected.
    keyMouseMove(sel, queue, 60, 0, 0, 127);
    EXPECT_TRUE(keyLeftClick(sel));
    EXPECT_EQ(1, sel.keys[60]);
    EXPECT_TRUE(keyMouseMove(sel, queue, 61, MK_LBUTTON, 0, 127));
    EXPECT_FALSE(keyMouseMove(sel, queue, 62, MK_LBUTTON, 0, 127));  // already selected: no change
    EXPECT_FALSE(keyMouseMove(sel, queue, 62, MK_LBUTTON, 0, 127));  // same key again
    EXPECT_EQ(1, sel.keys[61]);
    // A drag with Shift held, or with both buttons, does nothing.
    EXPECT_FALSE(keyMouseMove(sel, queue, 63, MK_LBUTTON | MK_SHIFT, 0, 127));
    EXPECT_EQ(0, sel.keys[63]);
    // A click on a selected key deselects it, and the drag deselects what it passes.
    keyMouseMove(sel, queue, 61, 0, 0, 127);
    EXPECT_TRUE(keyLeftClick(sel));
    EXPECT_EQ(0, sel.keys[61]);
    EXPECT_TRUE(keyMouseMove(sel, queue, 62, MK_LBUTTON, 0, 127));
    EXPECT_TRUE(keyMouseMove(sel, queue, 60, MK_LBUTTON, 0, 127));
    EXPECT_EQ(0, countSelectedKeys(sel));
    // A move outside the keys keeps the hovered key.
    EXPECT_FALSE(keyMouseMove(sel, queue, -1, MK_LBUTTON, 0, 127));
    EXPECT_EQ(60, sel.hoveredKey);
    EXPECT_EQ(0, queue.count);  // the left button plays nothing
}

TEST(KeyControl, RightButtonGlissandoStopsEachNoteBeforeTheNext) {
    MidiQueue queue = {};
    KeySelection sel = emptySelection();
    const int channel = 2, velocity = 90;
    keyMouseMove(sel, queue, 60, 0, channel, velocity);
    keyRightDown(sel, queue, channel, velocity);
    keyMouseMove(sel, queue, 60, MK_RBUTTON, channel, velocity);  // same note: nothing
    keyMouseMove(sel, queue, 62, MK_RBUTTON, channel, velocity);
    keyMouseMove(sel, queue, 64, MK_RBUTTON | MK_CONTROL, channel, velocity);  // with Ctrl: nothing
    keyMouseMove(sel, queue, 64, MK_RBUTTON, channel, velocity);
    keyRightUp(sel, queue, channel);
    const uint32_t on = 0x92, v = (uint32_t)velocity << 16;
    std::vector<uint32_t> expected = {on | 60 << 8 | v, on | 60 << 8, on | 62 << 8 | v,
                                      on | 62 << 8,     on | 64 << 8 | v, on | 64 << 8};
    EXPECT_EQ(expected, drain(queue));
    EXPECT_EQ(0, countSelectedKeys(sel));  // auditioning selects nothing
}

TEST(KeyControl, KeyboardMovesTheCursorSelectsAndAuditions) {
    MidiQueue queue = {};
    KeySelection sel = emptySelection();
    struct Step {
        int key;
        bool shift, control;
        int result, cursor;
        std::vector<int> selected;  // the selected keys afterwards, within 46..74
    } steps[] = {
        {VK_RIGHT, false, false, kKeyHandled, 49, {}},  // placed at the first C shown (48), then moved
        {VK_SPACE, false, false, kKeyHandled | kKeySelectionChanged, 49, {49}},
        {VK_UP, true, false, kKeyHandled | kKeySelectionChanged, 61, {49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61}},
        {VK_SPACE, false, false, kKeyHandled | kKeySelectionChanged, 61, {49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60}},
        {VK_DOWN, false, false, kKeyHandled, 49, {49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60}},
        {VK_LEFT, true, false, kKeyHandled | kKeySelectionChanged, 48, {48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60}},
        {'A', false, false, kKeyIgnored, 48, {48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60}},
        {VK_F1, false, false, kKeyIgnored, 48, {48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60}},
    };
    for (const Step &s : steps) {
        EXPECT_EQ(s.result, keyKeyDown(sel, queue, s.key, s.shift, s.control, false, 4, 0, 100)) << s.key;
        EXPECT_EQ(s.cursor, sel.cursor) << s.key;
        std::vector<int> selected;
        for (int k = 46; k <= 74; ++k)
            if (sel.keys[k]) selected.push_back(k);
        EXPECT_EQ(s.selected, selected) << s.key;
    }
    // The ends of the keyboard hold the cursor; End reaches 127, which scrolls into view.
    EXPECT_EQ(kKeyHandled, keyKeyDown(sel, queue, VK_END, false, false, false, 4, 0, 100));
    EXPECT_EQ(kKeyHandled, keyKeyDown(sel, queue, VK_UP, false, false, false, 4, 0, 100));
    EXPECT_EQ(127, sel.cursor);
    EXPECT_EQ(kKeyScrollMax, scrollToShow(4, 127));
    EXPECT_EQ(0, scrollToShow(4, 0));
    EXPECT_EQ(4, scrollToShow(4, 83));
    EXPECT_EQ(kKeyHandled | kKeySelectionChanged, keyKeyDown(sel, queue, 'A', false, true, false, 4, 0, 100));
    EXPECT_EQ(kKeyCount, countSelectedKeys(sel));
    EXPECT_EQ(kKeyHandled, keyKeyDown(sel, queue, 'A', false, true, false, 4, 0, 100)) << "nothing more to select";
    // Delete clears the whole selection, the cursor staying; once clear, nothing changes.
    EXPECT_EQ(kKeyHandled | kKeySelectionChanged, keyKeyDown(sel, queue, VK_DELETE, false, false, false, 4, 0, 100));
    EXPECT_EQ(0, countSelectedKeys(sel));
    EXPECT_EQ(127, sel.cursor);
    EXPECT_EQ(kKeyHandled, keyKeyDown(sel, queue, VK_DELETE, false, false, false, 4, 0, 100));
    keyKeyDown(sel, queue, 'A', false, true, false, 4, 0, 100);

    // Enter auditions the cursor's note until it is let go; auto-repeat adds nothing.
    drain(queue);
    keyKeyDown(sel, queue, VK_RETURN, false, false, false, 4, 2, 90);
    keyKeyDown(sel, queue, VK_RETURN, false, false, true, 4, 2, 90);
    keyKeyUp(sel, queue, VK_RETURN, 2);
    EXPECT_EQ((std::vector<uint32_t>{noteMessage(2, 127, 90), noteMessage(2, 127, 0)}), drain(queue));
}

// A click selects the key under the click itself, whatever key a pointer move hovered
// last (the system makes moves up when a window appears under the pointer); a click
// between the keys selects nothing.
TEST(KeyControl, AClickSelectsTheKeyUnderItNotTheLastHoveredOne) {
    registerKeysClass(GetModuleHandleA(nullptr));
    HWND control = CreateWindowExA(0, kKeysClass, "", WS_POPUP, 0, 0, 304, 60, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, control);
    KeySelection selection = emptySelection();
    const int channel = 0, velocity = 100;
    KeyControlData data = {&selection, &channel, &velocity};
    setKeyControlData(control, &data);
    RECT r;
    GetClientRect(control, &r);
    const KeyGeometry g = keyGeometry(r.right, r.bottom);
    const int scroll = GetScrollPos(control, SB_HORZ);
    auto bottomOf = [&](int white) { return MAKELPARAM(whiteKeyLeft(g, white) + g.keyWidth / 2, g.height - 4); };
    SendMessageA(control, WM_MOUSEMOVE, 0, bottomOf(3));
    SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, bottomOf(5));
    SendMessageA(control, WM_LBUTTONUP, 0, bottomOf(5));
    EXPECT_EQ(1, selection.keys[whiteKeyNote(scroll, 5)]);
    EXPECT_EQ(0, selection.keys[whiteKeyNote(scroll, 3)]);
    SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, 0));  // the margin, on no key
    SendMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(0, 0));
    EXPECT_EQ(1, countSelectedKeys(selection));
    DestroyWindow(control);
}

// The cursor is placed when the focus arrives, on the first C shown, and keeps a place
// it has; selected keys are orange, a black one darker, so every kind stays apart.
TEST(KeyControl, TheCursorIsPlacedWithTheFocusAndSelectedBlackKeysStayDark) {
    KeySelection sel = emptySelection();
    placeKeyCursor(sel, 4);
    EXPECT_TRUE(sel.cursorPlaced);
    EXPECT_EQ(48, sel.cursor);
    sel.cursor = 70;
    placeKeyCursor(sel, 2);
    EXPECT_EQ(70, sel.cursor) << "a placed cursor stays";
    KeySelection top = emptySelection();
    placeKeyCursor(top, kKeyScrollMax);
    EXPECT_EQ(96, top.cursor);

    const COLORREF colours[4] = {keyColour(false, false), keyColour(true, false), keyColour(false, true),
                                 keyColour(true, true)};
    auto lightness = [](COLORREF c) { return (GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114) / 1000; };
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j) EXPECT_NE(colours[i], colours[j]) << i << " " << j;
    // Selected: told from the unselected of its kind, and the black from the white by far.
    EXPECT_GT(lightness(colours[2]) - lightness(colours[3]), 60);
    EXPECT_LT(lightness(colours[3]), lightness(colours[0]) / 2);
}
