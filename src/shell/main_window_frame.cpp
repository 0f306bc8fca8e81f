#include "shell/main_window_frame.h"

#include "core/app_state.h"

const int kStatusStripHeight = 18;
const char kMainWindowClass[] = "EditorWndClass";
const char kMainWindowTitle[] = "Korvane";

POINT centreInWorkArea(const RECT &workArea, int width, int height) {
    POINT p;
    p.x = workArea.left + (workArea.right - workArea.left) / 2 - width / 2;
    if (p.x < workArea.left) p.x = workArea.left;
    p.y = workArea.top + (workArea.bottom - workArea.top) / 2 - height / 2;
    if (p.y < workArea.top) p.y = workArea.top;
    return p;
}

void fitWindowToEditor(HWND window, const ERect *rect) {
    int width = 0;
    int height = 0;
    if (window == nullptr || !editorClientSize(rect, &width, &height)) return;
    RECT frame = {0, 0, width, height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), GetMenu(window) != nullptr,
                       static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
    RECT current;
    if (!GetWindowRect(window, &current)) return;
    MoveWindow(window, current.left, current.top, frame.right - frame.left, frame.bottom - frame.top, FALSE);
}

HWND createMainWindow(PluginInstance &plugin, HWND owner) {
    plugin.parentWindow = owner;
    if (!plugin.hasEditor()) return nullptr;
    HINSTANCE program = gInstance != nullptr ? gInstance : GetModuleHandleA(nullptr);
    HWND window = CreateWindowExA(0, kMainWindowClass, kMainWindowTitle,
                                  WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0, owner,
                                  nullptr, program, nullptr);
    if (window == nullptr) return nullptr;
    plugin.openEditor(window);
    fitWindowToEditor(window, plugin.editorRect());

    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) return window;
    RECT outer;
    if (!GetWindowRect(window, &outer)) return window;
    int w = outer.right - outer.left;
    int h = outer.bottom - outer.top;
    POINT at = centreInWorkArea(work, w, h);
    MoveWindow(window, at.x, at.y, w, h + kStatusStripHeight, FALSE);
    return window;
}
