#include "tools/DeferredSignals.h"

CDeferredSignals::CDeferredSignals() {
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGHUP);
    sigaddset(&held, SIGTERM);
    sigprocmask(SIG_BLOCK, &held, &previous);
}

CDeferredSignals::~CDeferredSignals() {
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

bool CDeferredSignals::pending() const {
    sigset_t waiting;
    sigemptyset(&waiting);
    if (sigpending(&waiting) != 0) return false;
    return sigismember(&waiting, SIGINT) == 1 || sigismember(&waiting, SIGHUP) == 1 ||
           sigismember(&waiting, SIGTERM) == 1;
}
