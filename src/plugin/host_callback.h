// The host callback the plugin calls for information and services.
#pragma once

#include "plugin/vst2.h"

VstIntPtr VSTCALLBACK hostCallback(AEffect *effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void *ptr,
                                   float opt);
