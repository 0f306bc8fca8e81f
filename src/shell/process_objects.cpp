// The process-wide objects built before the entry runs, in this order, and torn
// down after it in reverse: the plugin instance goes before the driver list.
#include "plugin/plugin_instance.h"

PluginInstance gPlugin;
