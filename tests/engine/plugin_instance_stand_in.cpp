// Link stand-in for the engine tests while the plugin host is not yet part of the
// library: the process-wide PluginInstance and its destructor, nothing else.
// Delete this file once src/plugin/plugin_instance.cpp defines them.
#include "plugin/plugin_instance.h"

PluginInstance::~PluginInstance() {}

PluginInstance gPlugin;
