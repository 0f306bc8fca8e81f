#include "shell/menu_states.h"

#include "resources/resource_ids.h"

bool commandEnabled(int command, const TransportView &v) {
    bool idle = !v.recording && !v.playing;
    switch (command) {
    case CMD_RECORD: return v.soundOn && idle && v.driverOpen;
    case CMD_STOP: return v.soundOn && !idle;
    case CMD_PLAY: return v.soundOn && idle && v.recordedFrames != 0 && v.driverOpen;
    case CMD_SAVE_RECORDING: return idle && v.recordedFrames != 0;
    case CMD_EXPORT: return idle;
    case CMD_SETTINGS: return idle;
    case CMD_ALL_NOTES_OFF: return v.soundOn;
    default: return true;
    }
}
