#include "shell/startup.h"

#include <commctrl.h>

#include <cstring>

#include "audio/engine_state.h"
#include "audio/settings_dialog.h"
#include "audio/stream.h"
#include "audio/timer_duties.h"
#include "core/app_state.h"
#include "core/gate.h"
#include "core/texts.h"
#include "engine/block_processing.h"
#include "engine/capture_files.h"
#include "engine/engine_hooks.h"
#include "engine/transport.h"
#include "engine/time_info.h"
#include "export/dialog/key_control.h"
#include "midi/midi_ports.h"
#include "plugin/plugin_instance.h"
#include "resources/resource_ids.h"
#include "shell/crash_recovery.h"
#include "shell/leftover_recovery.h"
#include "shell/main_window.h"
#include "shell/main_window_frame.h"
#include "shell/settings.h"
#include "shell/sound_keeping.h"

namespace {

const int kModulePathSize = 260;
const char kPluginFileName[] = "\\Korvane.dll";
const int kCpuMeterWidth = 68;

char gModulePath[kModulePathSize];
// Whether engine set-up made the capture files, and why not; said once the window shows.
bool gCaptureFilesMade = true;
CaptureFilesFailure gCaptureFilesFailure;
char gPluginPath[kModulePathSize + sizeof(kPluginFileName)];

void storeInstallPath(const char *folder) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "InstallPath", 0, REG_SZ, (const BYTE *)folder, (DWORD)strlen(folder) + 1);
    RegCloseKey(key);
}

void registerWindowClasses(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.style = 0;
    wc.lpfnWndProc = mainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KORVANE));
    wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
    wc.lpszClassName = kMainWindowClass;
    RegisterClassA(&wc);
    registerKeysClass(instance);
}

HWND createStripWindow(HWND parent, DWORD exStyle, const char *text, int x, int y, int width) {
    HWND w = CreateWindowExA(exStyle, "STATIC", text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SS_CENTERIMAGE, x,
                             y, width, kStatusStripHeight, parent, nullptr, gInstance, nullptr);
    if (w) SendMessageA(w, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), TRUE);
    return w;
}

void createStatusStrip(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    int width = client.right - client.left;
    int y = client.bottom - client.top - kStatusStripHeight;
    gStatusLine = createStripWindow(window, 0, "", 0, y, width - kCpuMeterWidth);
    gCpuMeter = createStripWindow(window, WS_EX_STATICEDGE, "", width - kCpuMeterWidth, y, kCpuMeterWidth);
    updateCpuDisplay(gCpuMeter, gCpuLoad);  // "CPU: 0.0%"
}

// Says why the plugin could not be started and where the program looked for it.
void reportStartFailure(UINT textId, const char *pluginPath, DWORD systemError) {
    wchar_t text[2048];
    loadText(textId, text, 2048);
    appendAnsiLine(text, 2048, pluginPath);
    appendSystemReason(text, 2048, systemError);
    showErrorText(nullptr, text);
}

void reportPluginOpenFailure(const PluginInstance &plugin, const char *pluginPath) {
    switch (plugin.openFailure) {
    case PluginInstance::kNoEntry:
        reportStartFailure(IDS_PLUGIN_NO_ENTRY, pluginPath, 0);
        break;
    case PluginInstance::kNoPlugin:
        reportStartFailure(IDS_PLUGIN_NO_PLUGIN, pluginPath, 0);
        break;
    default:
        if (GetFileAttributesA(pluginPath) == INVALID_FILE_ATTRIBUTES)
            reportStartFailure(IDS_PLUGIN_MISSING, pluginPath, 0);
        else
            reportStartFailure(IDS_PLUGIN_UNLOADABLE, pluginPath, plugin.loadError);
        break;
    }
}

}  // namespace

bool pluginPathFromModule(char *moduleName, char *pluginPath, size_t pluginPathSize) {
    char *slash = strrchr(moduleName, '\\');
    if (slash) *slash = '\0';
    size_t folderLength = strlen(moduleName);
    if (folderLength + sizeof(kPluginFileName) > pluginPathSize) return false;
    memcpy(pluginPath, moduleName, folderLength);
    memcpy(pluginPath + folderLength, kPluginFileName, sizeof(kPluginFileName));
    return true;
}

void engineSetup(HINSTANCE instance) {
    // The settings dialog's tempo spin is a common control.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    installEngine();
    initTimeInfo();
    probeClock();
    gCaptureFilesMade = createCaptureFiles(&gCaptureFilesFailure);
    initMidi();  // keyboard map, MIDI queue and the plugin's event block
    setDefaultChannelMaps();
    registerWindowClasses(instance);
}

int runKorvane(HINSTANCE instance) {
    gInstance = instance;
    installCrashRecovery(instance);
    recoverLeftoverTakes();

    // A name that fills the whole buffer may have been cut short: treat it as no name.
    DWORD length = GetModuleFileNameA(nullptr, gModulePath, kModulePathSize);
    if (length == 0 || length >= (DWORD)kModulePathSize) return 0;
    if (!pluginPathFromModule(gModulePath, gPluginPath, sizeof gPluginPath)) return 0;
    storeInstallPath(gModulePath);

    engineSetup(instance);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);

    if (!gPlugin.open(gPluginPath, 44100.0f, 882)) {
        reportPluginOpenFailure(gPlugin, gPluginPath);
        return 0;
    }
    restoreLastSound();
    loadSettings();

    HWND mainWindow = createMainWindow(gPlugin, nullptr);
    if (!mainWindow) {
        reportStartFailure(IDS_PLUGIN_NO_EDITOR, gPluginPath, 0);
        return 0;
    }
    if (gOnTop) SetWindowPos(mainWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    createStatusStrip(mainWindow);
    gPlugin.resume();

    closeEngineGate();
    reopenEngine(mainWindow);
    openMidiPorts();
    openEngineGate();

    ShowWindow(mainWindow, SW_SHOW);
    UpdateWindow(mainWindow);
    if (!gCaptureFilesMade)
        showRecorderMessage(mainWindow, IDS_CAPTURE_FILES_FAILED, 0, gCaptureFilesFailure.path,
                            gCaptureFilesFailure.error);
    reportLastSound(mainWindow);
    if (gFirstStart) runSettingsDialog(mainWindow);

    SetTimer(mainWindow, 1, 40, nullptr);
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCEL));

    MSG msg;
    for (;;) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        explainRefusedKey(msg);
        if (TranslateAcceleratorA(mainWindow, accelerators, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

void shutdownKorvane(HWND mainWindow) {
    // No housekeeping from here on: a plugin's message box during its close must not
    // let the timer re-open the driver that was just closed.
    KillTimer(mainWindow, 1);
    closeEngineGate();
    closeStream();
    saveSettings();
    keepLastSound();
    gPlugin.close();
    freeEngineBuffers();
    closeMidiPorts();
    stopCaptureWriter();
    closeCaptureFiles();
    PostQuitMessage(0);
}
