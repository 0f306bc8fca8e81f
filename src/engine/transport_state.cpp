#include "engine/transport_state.h"

volatile LONG gPlaying = 0;
volatile LONG gRecording = 0;
volatile LONG gTransportPos = 0;
volatile LONG gRecordedFrames = 0;
volatile LONG gRecordingSaved = 0;
volatile LONG gRecordNeedsDriver = 0;
