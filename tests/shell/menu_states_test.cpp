#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "shell/menu_states.h"

// Every transport and sound state against every command whose state depends on them.
TEST(MenuStates, FollowSoundAndTransport) {
    const int commands[] = {CMD_RECORD, CMD_STOP, CMD_PLAY, CMD_SAVE_RECORDING, CMD_EXPORT, CMD_SETTINGS,
                            CMD_ALL_NOTES_OFF, CMD_SOUND_ONOFF};
    struct Case {
        TransportView view;
        bool expected[8];  // in the order of `commands`
    } cases[] = {
        // sound on, idle, nothing recorded: play and save wait for a recording
        {{true, false, false, 0, false}, {true, false, false, false, true, true, true, true}},
        // sound on, idle, something recorded
        {{true, false, false, 4410, false}, {true, false, true, true, true, true, true, true}},
        // recording
        {{true, true, false, 4410, false}, {false, true, false, false, false, false, true, true}},
        // playing
        {{true, false, true, 4410, false}, {false, true, false, false, false, false, true, true}},
        // sound off with a recording: only saving, export and settings remain
        {{false, false, false, 4410, false}, {false, false, false, true, true, true, false, true}},
        // sound off, nothing recorded
        {{false, false, false, 0, false}, {false, false, false, false, true, true, false, true}},
        // an export runs: the recorder, the sound commands and a second export wait for its end
        {{true, false, false, 4410, true}, {false, false, false, false, false, false, false, false}},
        {{false, false, false, 0, true}, {false, false, false, false, false, false, false, false}},
        // sound on but no driver open: nothing to record from or play to; saving stays
        {{true, false, false, 4410, false, false}, {false, false, false, true, true, true, true, true}},
        {{true, false, false, 0, false, false}, {false, false, false, false, true, true, true, true}},
    };
    for (const Case &c : cases)
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(c.expected[i], commandEnabled(commands[i], c.view))
                << "command " << commands[i] << " soundOn=" << c.view.soundOn << " rec=" << c.view.recording
                << " play=" << c.view.playing << " frames=" << c.view.recordedFrames
                << " driver=" << c.view.driverOpen;
}

// The sound commands change the plugin with the engine gate closed: only while no
// take is recorded or played and no export runs; sound and driver do not matter.
TEST(MenuStates, SoundCommandsWaitForAnIdleTransportAndTheExport) {
    struct Case {
        TransportView view;
        bool enabled;
    } cases[] = {
        {{true, false, false, 0, false}, true},   {{false, false, false, 4410, false}, true},
        {{true, false, false, 0, false, false}, true}, {{true, true, false, 0, false}, false},
        {{true, false, true, 4410, false}, false}, {{true, false, false, 0, true}, false},
        {{false, false, false, 0, true}, false},
    };
    for (int command : {CMD_LOAD_SOUND, CMD_SAVE_SOUND, CMD_DEFAULT_SOUND})
        for (const Case &c : cases)
            EXPECT_EQ(c.enabled, commandEnabled(command, c.view))
                << "command " << command << " soundOn=" << c.view.soundOn << " rec=" << c.view.recording
                << " play=" << c.view.playing << " export=" << c.view.exporting;
}
