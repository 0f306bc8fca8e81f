#include "shell/sound_keeping.h"

#include <cstdio>

#include "core/gate.h"
#include "core/texts.h"
#include "engine/file_dialog.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_state.h"
#include "resources/resource_ids.h"
#include "shell/sound_files.h"

namespace {

// The sound the plugin opened with in this run (every program), for "Default sound".
PluginState gDefaultSound;
StateFailure gDefaultSoundFailure;

// A stored sound that could not be given back at start-up, until it is said.
StateFailure gLastSoundFailure;
char gLastSoundAside[MAX_PATH] = "";

// The save dialog's filter: 1 = program (.fxp), 2 = bank (.fxb); kept for the run.
int gSoundFilter = 1;

void showSoundFailure(HWND window, UINT whatId, const char *path, const StateFailure &failure) {
    wchar_t text[2048];
    soundFailureText(whatId, path, failure, text, 2048);
    showErrorText(window, text);
}

// Gives the state to the live plugin with the audio thread kept out of it.
StateFailure giveToLivePlugin(const PluginState &state) {
    StateFailure failure = stateFitsPlugin(gPlugin.effect, state);
    if (!failure.ok()) return failure;
    closeEngineGate();
    failure = givePluginState(gPlugin.effect, state);
    openEngineGate();
    return failure;
}

StateFailure takeFromLivePlugin(bool bank, PluginState &state) {
    closeEngineGate();
    StateFailure failure = takePluginState(gPlugin.effect, bank, state);
    openEngineGate();
    return failure;
}

// Moves the stored sound out of the way under a name with the tag; remembered for
// the message when it could not be moved either.
void setAside(const char *path, const char *tag) {
    if (!asidePath(path, tag, gLastSoundAside, sizeof gLastSoundAside) ||
        !MoveFileExA(path, gLastSoundAside, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        snprintf(gLastSoundAside, sizeof gLastSoundAside, "%s", path);
}

}  // namespace

void restoreLastSound() {
    gDefaultSoundFailure = takePluginState(gPlugin.effect, true, gDefaultSound);
    // An instrument without settings has no sound to give: a stored one stays as it is.
    if (gDefaultSoundFailure.reason == kStateNothingToKeep) return;
    char path[MAX_PATH];
    if (!lastSoundPath(path, sizeof path) || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return;
    PluginState stored;
    StateFailure failure = loadPresetFile(path, stored);
    if (failure.ok()) failure = stateFitsPlugin(gPlugin.effect, stored);
    if (failure.reason == kStateOtherInstrument) {
        // Another instrument was put beside the program: its sound waits under its ID.
        char tag[16];
        snprintf(tag, sizeof tag, "%08X", (unsigned)stored.uniqueID);
        setAside(path, tag);
        return;
    }
    // Nothing runs the plugin yet: no stream is open before it is resumed.
    if (failure.ok()) failure = givePluginState(gPlugin.effect, stored);
    if (failure.ok()) return;
    gLastSoundFailure = failure;
    setAside(path, "unreadable");
}

void reportLastSound(HWND window) {
    if (gLastSoundFailure.ok()) return;
    showSoundFailure(window, IDS_LAST_SOUND_FAILED, gLastSoundAside, gLastSoundFailure);
    gLastSoundFailure = StateFailure();
}

void keepLastSound() {
    // The engine gate is closed in the shutdown before this.
    PluginState sound;
    StateFailure failure = takePluginState(gPlugin.effect, true, sound);
    // An instrument without settings, or one that hands an empty chunk: nothing to keep.
    if (failure.reason == kStateNothingToKeep || failure.reason == kStateNoChunk) return;
    char path[MAX_PATH] = "";
    if (failure.ok() && !lastSoundPath(path, sizeof path)) failure = stateFailure(kStateCannotOpen);
    if (failure.ok()) failure = savePresetFile(path, sound);
    if (!failure.ok()) showSoundFailure(nullptr, IDS_LAST_SOUND_NOT_KEPT, path, failure);
}

void loadSoundCommand(HWND window) {
    char name[MAX_PATH] = "";
    char filter[256];
    loadFilter(IDS_FILTER_SOUND_LOAD, filter, sizeof filter);
    if (!runFileDialog(window, kSoundFiles, FALSE, name, filter, nullptr, nullptr, TRUE, nullptr, 0, nullptr, 0)) return;
    UpdateWindow(window);
    PluginState sound;
    StateFailure failure = loadPresetFile(name, sound);
    if (failure.ok()) failure = giveToLivePlugin(sound);
    if (!failure.ok()) showSoundFailure(window, IDS_SOUND_LOAD_FAILED, name, failure);
}

void saveSoundCommand(HWND window) {
    char name[MAX_PATH] = "";
    char filter[256];
    loadFilter(IDS_FILTER_SOUND_SAVE, filter, sizeof filter);
    if (!runFileDialog(window, kSoundFiles, TRUE, name, filter, nullptr, nullptr, FALSE, &gSoundFilter, 0, nullptr, 0)) return;
    UpdateWindow(window);
    const bool bank = presetNameSavesBank(name, sizeof name, gSoundFilter);
    PluginState sound;
    StateFailure failure = takeFromLivePlugin(bank, sound);
    if (failure.ok()) failure = savePresetFile(name, sound);
    if (!failure.ok()) showSoundFailure(window, IDS_SOUND_SAVE_FAILED, name, failure);
}

void defaultSoundCommand(HWND window) {
    StateFailure failure = gDefaultSoundFailure.ok() ? giveToLivePlugin(gDefaultSound) : gDefaultSoundFailure;
    if (failure.reason == kStateNothingToKeep) return;  // nothing to go back to
    if (!failure.ok()) showSoundFailure(window, IDS_DEFAULT_SOUND_FAILED, nullptr, failure);
}
