// The process-wide objects built before the entry runs, in this order, and torn
// down after it in reverse: the plugin instance goes before the driver list.
// (The gates are constant-initialised and exist before any of these.)
#include "audio/driver_list.h"
#include "plugin/plugin_instance.h"

DriverList gDriverList;
PluginInstance gPlugin;
