#pragma once

#include <chrono>

// A one-line progress bar on standard error, drawn only when standard error is a terminal, at
// most ten times a second.
class CProgressBar {
public:
    explicit CProgressBar(bool wanted);
    // done and total in frames, rate in Hz for the time shown.
    void update(long long done, long long total, double rate);
    // Clears the line, if one was drawn.
    void finish();

private:
    bool enabled;
    bool drawn = false;
    std::chrono::steady_clock::time_point lastDraw;
};
