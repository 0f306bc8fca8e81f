#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "shell/startup.h"

TEST(PluginPath, ComesFromTheProgramFolder) {
    struct Case {
        const char *module;
        const char *folder;
        const char *plugin;
    } cases[] = {
        {"C:\\Program Files\\Korvane\\Korvane.exe", "C:\\Program Files\\Korvane", "C:\\Program Files\\Korvane\\Korvane.dll"},
        {"C:\\Korvane.exe", "C:", "C:\\Korvane.dll"},
        {"Korvane.exe", "Korvane.exe", "Korvane.exe\\Korvane.dll"},
    };
    for (const Case &c : cases) {
        char module[260];
        strcpy(module, c.module);
        char plugin[272];
        ASSERT_TRUE(pluginPathFromModule(module, plugin, sizeof plugin)) << c.module;
        EXPECT_STREQ(c.folder, module);
        EXPECT_STREQ(c.plugin, plugin);
    }
}

TEST(PluginPath, RefusesAPathThatDoesNotFit) {
    std::string longName = "C:\\" + std::string(250, 'a') + "\\Korvane.exe";
    char module[512];
    strcpy(module, longName.c_str());
    char plugin[260];
    memset(plugin, 'x', sizeof plugin);
    EXPECT_FALSE(pluginPathFromModule(module, plugin, sizeof plugin));
    EXPECT_EQ('x', plugin[sizeof plugin - 1]);  // nothing written past the buffer

    // Exactly fitting: folder + "\Korvane.dll" + terminator.
    std::string folder(260 - 13, 'b');
    std::string exact = folder + "\\K.exe";
    strcpy(module, exact.c_str());
    EXPECT_TRUE(pluginPathFromModule(module, plugin, sizeof plugin));
    EXPECT_EQ(259u, strlen(plugin));
}

TEST(MainWindowCommands, SevenPluginCommandsMapToVendorIndexes) {
    const int commands[] = {CMD_LOAD, CMD_SAVE_AS, CMD_CLOSE, CMD_HELP, CMD_INFO, CMD_AUTOMATION,
                            CMD_PLUGIN_DIRECTORY};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(i + 1, pluginCommandIndex(commands[i]));
    for (int other : {CMD_EXIT, CMD_SETTINGS, CMD_RECORD, CMD_SOUND_ONOFF, 0, 40022, 40025})
        EXPECT_EQ(0, pluginCommandIndex(other)) << other;
}
