// The main window that holds the plugin's editor: creation, sizing, centring.
#include "plugin/plugin_instance.h"

#include "core/app_state.h"

const int kStatusStripHeight = 18;
const int kMaxEditorExtent = 32767;
const char kMainWindowClass[] = "EditorWndClass";
const char kMainWindowTitle[] = "Korvane";

int editorClientSize(const ERect *rect, int *width, int *height) {
    if (rect == nullptr) return 0;
    int w = static_cast<int>(rect->right) - rect->left;
    int h = static_cast<int>(rect->bottom) - rect->top;
    if (w <= 0 || h <= 0) return 0;
    *width = w < kMaxEditorExtent ? w : kMaxEditorExtent;
    *height = h < kMaxEditorExtent ? h : kMaxEditorExtent;
    return 1;
}

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

int PluginInstance::openEditor(HWND parent) {
    parentWindow = parent;
    if (effect == nullptr || !hasEditor()) return 0;
    HINSTANCE program = gInstance != nullptr ? gInstance : GetModuleHandleA(nullptr);
    HWND window = CreateWindowExA(0, kMainWindowClass, kMainWindowTitle,
                                  WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0, parent,
                                  nullptr, program, nullptr);
    if (window == nullptr) return 0;
    editorWindow = window;
    dispatch(effEditOpen, 0, 0, window);
    ERect *rect = nullptr;
    dispatch(effEditGetRect, 0, 0, &rect);
    fitWindowToEditor(window, rect);

    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) return 1;
    RECT outer;
    if (!GetWindowRect(window, &outer)) return 1;
    int w = outer.right - outer.left;
    int h = outer.bottom - outer.top;
    POINT at = centreInWorkArea(work, w, h);
    MoveWindow(window, at.x, at.y, w, h + kStatusStripHeight, FALSE);
    return 1;
}

void PluginInstance::closeEditor() {
    if (effect == nullptr) return;
    if (hasEditor() && editorWindow != nullptr) dispatch(effEditClose);
    editorWindow = nullptr;
}
