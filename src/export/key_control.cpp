#include "export/key_control.h"

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

void fillRect(HDC dc, int left, int top, int right, int bottom, HBRUSH brush) {
    RECT r = {left, top, right, bottom};
    FillRect(dc, &r, brush);
}

struct Brushes {
    HBRUSH white, black, selected, dark, light;
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

// keys: the selection flags, or null for none selected.
void paintKeys(HWND window, const uint8_t *keys) {
    PAINTSTRUCT ps;
    HDC screen = BeginPaint(window, &ps);
    if (!screen) return;
    KeyGeometry g = clientGeometry(window);
    int s = scrollPosition(window);
    Brushes b = {CreateSolidBrush(kWhiteColour), CreateSolidBrush(kBlackColour), CreateSolidBrush(kSelectedColour),
                 CreateSolidBrush(kDarkEdgeColour), CreateSolidBrush(kLightEdgeColour)};
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
        BitBlt(back, x, 0, g.blackWidth, g.blackHeight, blackDc, 0, 0, SRCCOPY);
        if (keys && validNote(note) && keys[note])
            fillRect(back, x + 1, 0, x + g.blackWidth - 1, g.blackHeight - 1, b.selected);
    }

    BitBlt(screen, 0, 0, g.width, g.height, back, 0, 0, SRCCOPY);
    DeleteDC(whiteDc);
    DeleteDC(blackDc);
    DeleteDC(back);
    EndPaint(window, &ps);
    DeleteObject(whiteImage);
    DeleteObject(blackImage);
    for (HBRUSH brush : {b.white, b.black, b.selected, b.dark, b.light}) DeleteObject(brush);
    DeleteObject(backBitmap);
}

void setUpScrollBar(HWND window) {
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = kKeyScrollMax + 2;  // range 0..9 with a page of 3: positions 0..7
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
        paintKeys(window, data ? data->selection->keys : nullptr);
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
    case WM_LBUTTONDOWN:
        if (data && keyLeftClick(*data->selection)) {
            notifyParent(window);
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_RBUTTONDOWN:
        if (!data) break;
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
