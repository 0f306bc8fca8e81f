#include "audio/timer_duties.h"

#include "audio/buffer_switch.h"
#include "audio/engine_state.h"
#include "audio/settings_dialog.h"
#include "audio/stream.h"
#include "core/app_state.h"
#include "core/gate.h"
#include "core/texts.h"
#include "plugin/plugin_instance.h"
#include "resources/resource_ids.h"

float gShownCpuLoad = -1.0f;

void serveDriverReset(HWND mainWindow) {
    if (gDriverCallDepth > 0) return;  // kept for a later tick
    if (gExportRunning) return;        // the export owns the engine buffers and the plugin: after it
    if (!InterlockedExchange(&gDriverResetRequest, 0)) return;
    // With sound switched off the driver stays closed (switching sound on re-opens
    // it anyway), unless the settings dialog has opened it for its own time.
    if (gAudioStopped && !gSettingsDialog) return;
    reopenEngine(mainWindow);
}

// Taken with one exchange, so a rate the driver reports meanwhile is kept for the next tick.
void applyPendingSampleRate() {
    if (gExportRunning) return;  // kept until the export has restored the plugin
    const LONG rate = InterlockedExchange(&gPendingSampleRate, 0);
    if (rate == 0) return;
    closeEngineGate();
    gEngine.sampleRate = rate;
    if (gEngine.blockSize != 0) gPlugin.setRateAndBlock(float(rate), gEngine.blockSize);
    openEngineGate();
}

void updateCpuDisplay(HWND cpuMeter, float cpuLoad) {
    const float load = gAudioStopped ? 0.0f : cpuLoad;
    wchar_t format[64];
    wchar_t text[64];
    loadText(IDS_CPU_METER, format, 64);
    if (nextCpuMeterText(load, &gShownCpuLoad, format, text, 64)) SetWindowTextW(cpuMeter, text);
}
