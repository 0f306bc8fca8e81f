#include "shell/main_window.h"

#include "plugin/plugin_instance.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/startup.h"

int pluginCommandIndex(int command) {
    switch (command) {
    case CMD_LOAD: return 1;
    case CMD_SAVE_AS: return 2;
    case CMD_CLOSE: return 3;
    case CMD_HELP: return 4;
    case CMD_INFO: return 5;
    case CMD_AUTOMATION: return 6;
    case CMD_PLUGIN_DIRECTORY: return 7;
    default: return 0;
    }
}

namespace {

void setTopmost(HWND window, bool topmost) {
    SetWindowPos(window, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void onCommand(HWND window, int command) {
    if (int index = pluginCommandIndex(command)) {
        gPlugin.dispatch(effVendorSpecific, index, 0, nullptr, 0.0f);
        return;
    }
    switch (command) {
    case CMD_EXIT:
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    case CMD_ALWAYS_ON_TOP:
        gOnTop = !gOnTop;
        setTopmost(window, gOnTop != 0);
        break;
    default:
        break;
    }
}

void housekeeping() {
    gPlugin.editorIdle();
    gPlugin.idle();
}

}  // namespace

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        onCommand(window, LOWORD(wParam));
        break;
    case WM_TIMER:
        housekeeping();
        break;
    case WM_NCLBUTTONDOWN:
        SetFocus(window);
        break;
    case WM_DESTROY:
        shutdownKorvane();
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
