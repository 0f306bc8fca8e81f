// The process-wide objects with constructors and exit actions are defined here, in
// one file, so that they are built in this order and torn down in the reverse one.
#include "plugin/plugin_instance.h"

PluginInstance gPlugin;
