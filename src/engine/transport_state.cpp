#include "engine/transport_state.h"

RecorderState gRecorder = {};
