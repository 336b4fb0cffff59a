#pragma once

#include <csignal>

// Holds back the signals that end a run from the terminal (interrupt, hang-up, termination) while
// an output is being written, so the writer can remove its temporary file first. On leaving the
// scope the caller's signal mask returns and a held signal takes its usual effect.
class CDeferredSignals {
public:
    CDeferredSignals();
    ~CDeferredSignals();
    CDeferredSignals(const CDeferredSignals&) = delete;
    CDeferredSignals& operator=(const CDeferredSignals&) = delete;

    // True when one of the held signals has arrived.
    bool pending() const;

private:
    sigset_t held;
    sigset_t previous;
};
