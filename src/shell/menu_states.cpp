#include "shell/menu_states.h"

#include "resources/resource_ids.h"

bool commandEnabled(int command, const TransportView &v) {
    bool idle = !v.recording && !v.playing;
    if (v.exporting) {
        switch (command) {
        case CMD_RECORD:
        case CMD_STOP:
        case CMD_PLAY:
        case CMD_SAVE_RECORDING:
        case CMD_EXPORT:
        case CMD_SETTINGS:
        case CMD_ALL_NOTES_OFF:
        case CMD_SOUND_ONOFF:
        case CMD_LOAD_SOUND:
        case CMD_SAVE_SOUND:
        case CMD_DEFAULT_SOUND:
            return false;
        default:
            break;
        }
    }
    switch (command) {
    case CMD_RECORD: return v.soundOn && idle && v.driverOpen;
    case CMD_STOP: return v.soundOn && !idle;
    case CMD_PLAY: return v.soundOn && idle && v.recordedFrames != 0 && v.driverOpen;
    case CMD_SAVE_RECORDING: return idle && v.recordedFrames != 0;
    case CMD_EXPORT: return idle;
    case CMD_SETTINGS: return idle;
    // The plugin's state changes with the engine gate closed: not while a take or its
    // playback runs through it.
    case CMD_LOAD_SOUND:
    case CMD_SAVE_SOUND:
    case CMD_DEFAULT_SOUND: return idle;
    case CMD_ALL_NOTES_OFF: return v.soundOn;
    default: return true;
    }
}
