#pragma once

// Where the editor's meters come from: the effect measures its outputs on the audio thread, and
// the editor asks for the latest values whenever it redraws. Declared here so that the editor
// needs nothing of the processor; the plug-in's effect class implements it.
struct CMeterValues {
    float peak[4];         // W, X, Y, Z: linear peak level
    float rms[4];          // linear RMS level
    float intensity[3];    // running averages of W*X, W*Y, W*Z (FuMa B-format)
    unsigned long updates; // changes whenever a new block has been measured
};

class CMeterSource {
public:
    virtual ~CMeterSource() = default;
    // Any thread; never waits.
    virtual void readMeters(CMeterValues& values) = 0;
    // Any thread: the next measured block starts from silence.
    virtual void resetMeters() = 0;
};
