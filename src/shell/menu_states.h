// Which menu commands are available in the current sound and transport state.
#pragma once

struct TransportView {
    bool soundOn;
    bool recording;
    bool playing;
    long recordedFrames;
    bool exporting;           // an export runs: the recorder and sound commands wait for its end
    bool driverOpen = true;  // record and play need a driver that runs
};

bool commandEnabled(int command, const TransportView &view);
