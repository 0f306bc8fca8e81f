#include "export/dialog/key_control.h"

#include <initializer_list>

#include <cstdio>

#include "midi/midi_queue.h"

const char kKeysClass[] = "KeysClass";

namespace {

const char kDataProperty[] = "KeyControlData";

// Note offsets within an octave by white-key position; -1: no black key there.
const int kWhiteOffsets[7] = {0, 2, 4, 5, 7, 9, 11};
const int kBlackOffsets[7] = {1, 3, -1, 6, 8, 10, -1};

const COLORREF kWhiteColour = RGB(255, 255, 255);
const COLORREF kBlackColour = RGB(0, 0, 0);
const COLORREF kSelectedColour = RGB(255, 128, 0);
const COLORREF kSelectedBlackColour = RGB(150, 60, 0);  // a selected black key stays darker than a white one
const COLORREF kDarkEdgeColour = RGB(80, 80, 80);
const COLORREF kLightEdgeColour = RGB(224, 224, 224);

bool validNote(int note) { return note >= 0 && note < kKeyCount; }

void notifyParent(HWND window) {
    SendMessageA(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), kKeysChangedCode), 0);
}

int scrollPosition(HWND window) { return GetScrollPos(window, SB_HORZ); }

KeyControlData *controlData(HWND window) {
    KeyControlData *data = (KeyControlData *)GetPropA(window, kDataProperty);
    return data && data->selection && data->midiChannel && data->velocity ? data : nullptr;
}

KeyGeometry clientGeometry(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    return keyGeometry(r.right - r.left, r.bottom - r.top);
}

// Makes the key under a click's point the hovered one; false when the point is on none.
bool clickedKey(HWND window, LPARAM point, KeySelection &sel) {
    int note = keyAt(clientGeometry(window), scrollPosition(window), (short)LOWORD(point), (short)HIWORD(point));
    if (!validNote(note)) return false;
    sel.hoveredKey = note;
    return true;
}

void fillRect(HDC dc, int left, int top, int right, int bottom, HBRUSH brush) {
    RECT r = {left, top, right, bottom};
    FillRect(dc, &r, brush);
}

struct Brushes {
    HBRUSH white, black, selected, selectedBlack, dark, light;
};

// A key image of w x h: body, light left edge, dark right and bottom edges.
HBITMAP makeKeyImage(HDC screen, HDC dc, int w, int h, HBRUSH body, const Brushes &b) {
    HBITMAP image = CreateCompatibleBitmap(screen, w, h);
    SelectObject(dc, image);
    fillRect(dc, 0, 0, w, h, body);
    fillRect(dc, 0, 0, 1, h, b.light);
    fillRect(dc, w - 1, 0, w, h, b.dark);
    fillRect(dc, 0, h - 1, w, h, b.dark);
    return image;
}

// The cell of a note on the drawn keys at this scroll position; false when not shown.
bool noteRect(const KeyGeometry &g, int scroll, int note, RECT *r) {
    int white = (note / 12 - scroll) * 7;
    int offset = note % 12;
    for (int i = 0; i < 7; ++i) {
        if (kWhiteOffsets[i] == offset) {
            if (white + i < 0 || white + i >= kVisibleWhiteKeys) return false;
            int x = whiteKeyLeft(g, white + i);
            *r = RECT{x + 1, 1, x + g.keyWidth - 1, g.height - 1};
            return true;
        }
        if (kBlackOffsets[i] == offset) {
            if (white + i < 0 || white + i >= kVisibleWhiteKeys) return false;
            int x = blackKeyLeft(g, white + i);
            *r = RECT{x + 1, 1, x + g.blackWidth - 1, g.blackHeight - 1};
            return true;
        }
    }
    return false;
}

// keys: the selection flags, or null for none selected; cursor: the note to frame,
// or -1 (the control has no focus).
void paintKeys(HWND window, const uint8_t *keys, int cursor) {
    PAINTSTRUCT ps;
    HDC screen = BeginPaint(window, &ps);
    if (!screen) return;
    KeyGeometry g = clientGeometry(window);
    int s = scrollPosition(window);
    Brushes b = {CreateSolidBrush(keyColour(false, false)),  CreateSolidBrush(keyColour(true, false)),
                 CreateSolidBrush(keyColour(false, true)),   CreateSolidBrush(keyColour(true, true)),
                 CreateSolidBrush(kDarkEdgeColour),          CreateSolidBrush(kLightEdgeColour)};
    HDC back = CreateCompatibleDC(screen);
    HBITMAP backBitmap = CreateCompatibleBitmap(screen, g.width, g.height);
    SelectObject(back, backBitmap);
    SelectObject(back, GetStockObject(DEFAULT_GUI_FONT));
    fillRect(back, 0, 0, g.width, g.height, (HBRUSH)(COLOR_BTNFACE + 1));

    HDC whiteDc = CreateCompatibleDC(screen);
    HBITMAP whiteImage = makeKeyImage(screen, whiteDc, g.keyWidth, g.height, b.white, b);
    SetBkMode(back, TRANSPARENT);
    for (int i = 0; i < kVisibleWhiteKeys; ++i) {
        int x = whiteKeyLeft(g, i);
        int note = whiteKeyNote(s, i);
        if (!validNote(note)) continue;  // past the last MIDI key, 127
        bool selected = keys && validNote(note) && keys[note];
        BitBlt(back, x, 0, g.keyWidth, g.height, whiteDc, 0, 0, SRCCOPY);
        if (selected) fillRect(back, x + 1, 0, x + g.keyWidth - 1, g.height - 1, b.selected);
        if (i % 7 == 0) {
            char label[16];
            snprintf(label, sizeof label, "%d", octaveLabel(s, i));
            SetTextColor(back, selected ? kWhiteColour : kBlackColour);
            RECT r = {x, g.blackHeight, x + g.keyWidth, g.height};
            DrawTextA(back, label, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    }

    HDC blackDc = CreateCompatibleDC(screen);
    HBITMAP blackImage = makeKeyImage(screen, blackDc, g.blackWidth, g.blackHeight, b.black, b);
    for (int i = 0; i < kVisibleWhiteKeys; ++i) {
        if (!hasBlackKeyAfter(i)) continue;
        int x = blackKeyLeft(g, i);
        int note = blackKeyNote(s, i);
        if (!validNote(note)) continue;
        BitBlt(back, x, 0, g.blackWidth, g.blackHeight, blackDc, 0, 0, SRCCOPY);
        if (keys && validNote(note) && keys[note])
            fillRect(back, x + 1, 0, x + g.blackWidth - 1, g.blackHeight - 1, b.selectedBlack);
    }

    RECT frame;
    if (validNote(cursor) && noteRect(g, s, cursor, &frame)) {
        SetTextColor(back, kBlackColour);
        SetBkColor(back, kWhiteColour);
        DrawFocusRect(back, &frame);
        InflateRect(&frame, -1, -1);
        DrawFocusRect(back, &frame);
    }
    BitBlt(screen, 0, 0, g.width, g.height, back, 0, 0, SRCCOPY);
    DeleteDC(whiteDc);
    DeleteDC(blackDc);
    DeleteDC(back);
    EndPaint(window, &ps);
    DeleteObject(whiteImage);
    DeleteObject(blackImage);
    for (HBRUSH brush : {b.white, b.black, b.selected, b.selectedBlack, b.dark, b.light}) DeleteObject(brush);
    DeleteObject(backBitmap);
}

void setUpScrollBar(HWND window) {
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = kKeyScrollMax + 2;  // range 0..10 with a page of 3: positions 0..8
    info.nPage = 3;
    info.nPos = kKeyScrollStart;
    SetScrollInfo(window, SB_HORZ, &info, TRUE);
}

}  // namespace

KeyGeometry keyGeometry(int width, int height) {
    KeyGeometry g;
    g.width = width;
    g.height = height;
    g.keyWidth = width / kVisibleWhiteKeys;
    g.margin = (width - kVisibleWhiteKeys * g.keyWidth) / 2;
    g.blackWidth = g.keyWidth / 2;
    g.blackHeight = 2 * height / 3;
    return g;
}

int whiteKeyLeft(const KeyGeometry &g, int whiteIndex) { return g.margin + whiteIndex * g.keyWidth; }

int blackKeyLeft(const KeyGeometry &g, int whiteIndex) { return g.margin + 3 * g.keyWidth / 4 + whiteIndex * g.keyWidth; }

bool hasBlackKeyAfter(int whiteIndex) {
    int p = whiteIndex % 7;
    return p != 2 && p != 6;
}

int whiteKeyNote(int scroll, int whiteIndex) {
    return 12 * scroll + 12 * (whiteIndex / 7) + kWhiteOffsets[((whiteIndex % 7) + 7) % 7];
}

int blackKeyNote(int scroll, int whiteIndex) {
    int offset = kBlackOffsets[((whiteIndex % 7) + 7) % 7];
    return offset < 0 ? -1 : 12 * scroll + 12 * (whiteIndex / 7) + offset;
}

int keyAt(const KeyGeometry &g, int scroll, int x, int y) {
    if (g.keyWidth <= 0) return -1;
    if (x < g.margin || x >= g.margin + kVisibleWhiteKeys * g.keyWidth) return -1;
    int blackStart = g.margin + 3 * g.keyWidth / 4;
    int note;
    if (x >= blackStart && y <= g.blackHeight && (x - blackStart) % g.keyWidth <= g.keyWidth / 2 &&
        hasBlackKeyAfter((x - blackStart) / g.keyWidth)) {
        note = blackKeyNote(scroll, (x - blackStart) / g.keyWidth);
    } else {
        note = whiteKeyNote(scroll, (x - g.margin) / g.keyWidth);
    }
    return validNote(note) ? note : -1;
}

int octaveLabel(int scroll, int whiteIndex) { return whiteIndex / 7 + scroll - 2; }

bool scrollRequestTarget(int code, int position, int track, int *target) {
    switch (code) {
    case SB_LINELEFT:
    case SB_PAGELEFT: *target = position - 1; return true;
    case SB_LINERIGHT:
    case SB_PAGERIGHT: *target = position + 1; return true;
    case SB_THUMBTRACK: *target = track; return true;
    default: return false;
    }
}

uint32_t noteMessage(int channel, int note, int velocity) {
    return (uint32_t)((0x90 + (channel & 0x0F)) | (note & 0x7F) << 8 | (velocity & 0xFF) << 16);
}

bool keyMouseMove(KeySelection &sel, MidiQueue &queue, int note, WPARAM buttons, int channel, int velocity) {
    if (!validNote(note)) return false;
    if (buttons == MK_RBUTTON && note != sel.soundingNote) {
        queue.push(noteMessage(channel, sel.soundingNote, 0));
        sel.soundingNote = note;
        queue.push(noteMessage(channel, note, velocity));
    }
    bool changed = false;
    if (note != sel.hoveredKey) {
        if (buttons == MK_LBUTTON) {
            uint8_t flag = sel.paintMode ? 1 : 0;
            changed = (sel.keys[note] != 0) != (flag != 0);
            sel.keys[note] = flag;
        }
        sel.hoveredKey = note;
    }
    return changed;
}

bool keyLeftClick(KeySelection &sel) {
    int note = sel.hoveredKey;
    if (!validNote(note)) return false;
    sel.paintMode = sel.keys[note] ? 0 : 1;
    sel.keys[note] = sel.paintMode;
    return true;
}

void keyRightDown(KeySelection &sel, MidiQueue &queue, int channel, int velocity) {
    sel.soundingNote = sel.hoveredKey;
    queue.push(noteMessage(channel, sel.soundingNote, velocity));
}

void keyRightUp(KeySelection &sel, MidiQueue &queue, int channel) {
    queue.push(noteMessage(channel, sel.soundingNote, 0));
}

COLORREF keyColour(bool black, bool selected) {
    if (selected) return black ? kSelectedBlackColour : kSelectedColour;
    return black ? kBlackColour : kWhiteColour;
}

void placeKeyCursor(KeySelection &sel, int scroll) {
    if (sel.cursorPlaced && validNote(sel.cursor)) return;
    sel.cursor = scroll * 12 < kKeyCount ? scroll * 12 : kKeyCount - 1;
    sel.cursorPlaced = 1;
}

int scrollToShow(int scroll, int note) {
    if (!validNote(note)) return scroll;
    int octave = note / 12;
    if (octave < scroll) scroll = octave;
    if (octave > scroll + 2) scroll = octave - 2;
    return scroll < 0 ? 0 : scroll > kKeyScrollMax ? kKeyScrollMax : scroll;
}

int keyKeyDown(KeySelection &sel, MidiQueue &queue, int virtualKey, bool shift, bool control, bool repeat, int scroll,
               int channel, int velocity) {
    placeKeyCursor(sel, scroll);
    int target = sel.cursor;
    switch (virtualKey) {
    case VK_LEFT: target -= 1; break;
    case VK_RIGHT: target += 1; break;
    case VK_DOWN: target -= 12; break;
    case VK_UP: target += 12; break;
    case VK_HOME: target = 0; break;
    case VK_END: target = kKeyCount - 1; break;
    case VK_SPACE:
        if (repeat) return kKeyHandled;
        sel.keys[sel.cursor] = sel.keys[sel.cursor] ? 0 : 1;
        return kKeyHandled | kKeySelectionChanged;
    case 'A': {
        if (!control) return kKeyIgnored;
        bool changed = false;
        for (int k = 0; k < kKeyCount; ++k) changed = changed || !sel.keys[k], sel.keys[k] = 1;
        return kKeyHandled | (changed ? kKeySelectionChanged : 0);
    }
    case VK_DELETE: {
        bool changed = false;
        for (int k = 0; k < kKeyCount; ++k) changed = changed || sel.keys[k], sel.keys[k] = 0;
        return kKeyHandled | (changed ? kKeySelectionChanged : 0);
    }
    case VK_RETURN:
        if (!repeat) {
            sel.soundingNote = sel.cursor;
            queue.push(noteMessage(channel, sel.cursor, velocity));
        }
        return kKeyHandled;
    default:
        return kKeyIgnored;
    }
    if (target < 0) target = 0;
    if (target >= kKeyCount) target = kKeyCount - 1;
    bool changed = false;
    if (shift) {
        // Every key the cursor passes onto, its own included, becomes selected.
        int low = target < sel.cursor ? target : sel.cursor, high = target < sel.cursor ? sel.cursor : target;
        for (int k = low; k <= high; ++k) changed = changed || !sel.keys[k], sel.keys[k] = 1;
    }
    sel.cursor = target;
    return kKeyHandled | (changed ? kKeySelectionChanged : 0);
}

void keyKeyUp(KeySelection &sel, MidiQueue &queue, int virtualKey, int channel) {
    if (virtualKey == VK_RETURN && validNote(sel.soundingNote)) queue.push(noteMessage(channel, sel.soundingNote, 0));
}

int countSelectedKeys(const KeySelection &sel) {
    int n = 0;
    for (uint8_t k : sel.keys) n += k != 0;
    return n;
}

void setKeyControlData(HWND control, KeyControlData *data) { SetPropA(control, kDataProperty, (HANDLE)data); }

void registerKeysClass(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.style = 0;
    wc.lpfnWndProc = keysWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    wc.lpszClassName = kKeysClass;
    RegisterClassA(&wc);
}

LRESULT CALLBACK keysWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    KeyControlData *data = controlData(window);
    switch (message) {
    case WM_CREATE:
        setUpScrollBar(window);
        break;
    case WM_NCDESTROY:
        RemovePropA(window, kDataProperty);
        break;
    case WM_PAINT:
        paintKeys(window, data ? data->selection->keys : nullptr,
                  data && GetFocus() == window && data->selection->cursorPlaced ? data->selection->cursor : -1);
        break;
    case WM_HSCROLL: {
        int target;
        if (scrollRequestTarget(LOWORD(wParam), scrollPosition(window), (short)HIWORD(wParam), &target)) {
            SetScrollPos(window, SB_HORZ, target, TRUE);
            InvalidateRect(window, nullptr, FALSE);
        }
        break;
    }
    case WM_MOUSEMOVE: {
        if (!data) break;
        int note = keyAt(clientGeometry(window), scrollPosition(window), (short)LOWORD(lParam), (short)HIWORD(lParam));
        if (keyMouseMove(*data->selection, gMidiQueue, note, wParam, *data->midiChannel, *data->velocity)) {
            InvalidateRect(window, nullptr, FALSE);
            notifyParent(window);
        }
        break;
    }
    case WM_GETDLGCODE: {
        // Arrows and characters stay with the control; Enter too while it auditions.
        LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
        const MSG *msg = (const MSG *)lParam;
        if (msg && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && msg->wParam == VK_RETURN)
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_SETFOCUS:
        // The cursor shows where the keys will act as soon as the focus arrives.
        if (data) placeKeyCursor(*data->selection, scrollPosition(window));
        InvalidateRect(window, nullptr, FALSE);
        break;
    case WM_KILLFOCUS:
        InvalidateRect(window, nullptr, FALSE);
        break;
    case WM_KEYDOWN: {
        if (!data) break;
        int scroll = scrollPosition(window);
        int result = keyKeyDown(*data->selection, gMidiQueue, (int)wParam, GetKeyState(VK_SHIFT) < 0,
                                GetKeyState(VK_CONTROL) < 0, (lParam & (1 << 30)) != 0, scroll, *data->midiChannel,
                                *data->velocity);
        if (!result) break;
        int shown = scrollToShow(scroll, data->selection->cursor);
        if (shown != scroll) SetScrollPos(window, SB_HORZ, shown, TRUE);
        InvalidateRect(window, nullptr, FALSE);
        if (result & kKeySelectionChanged) notifyParent(window);
        return 0;
    }
    case WM_KEYUP:
        if (data) keyKeyUp(*data->selection, gMidiQueue, (int)wParam, *data->midiChannel);
        break;
    case WM_CHAR:
        return 0;  // handled as key presses
    case WM_LBUTTONDOWN:
        SetFocus(window);
        // The key under the click itself (none: nothing to select): a pointer move the
        // system made up meanwhile, a window appearing under the pointer, may have
        // hovered another.
        if (!data || !clickedKey(window, lParam, *data->selection)) return 0;
        data->selection->cursor = data->selection->hoveredKey;
        data->selection->cursorPlaced = 1;
        if (keyLeftClick(*data->selection)) {
            notifyParent(window);
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_RBUTTONDOWN:
        if (!data || !clickedKey(window, lParam, *data->selection)) break;
        SetCapture(window);
        keyRightDown(*data->selection, gMidiQueue, *data->midiChannel, *data->velocity);
        break;
    case WM_RBUTTONUP:
        if (!data) break;
        ReleaseCapture();
        keyRightUp(*data->selection, gMidiQueue, *data->midiChannel);
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
