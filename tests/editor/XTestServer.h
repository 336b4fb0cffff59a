#pragma once

// A private X server (Xvfb) for the window tests, and the small host-side X helpers they share.
// Xlib stays out of this header: its macros (None, Bool, Status) break GoogleTest's.

#include "gui/CColor.h"

#include <string>
#include <sys/types.h>
#include <vector>

struct _XDisplay;

namespace xtest {

// Starts Xvfb on a display number it picks itself (-displayfd), so tests running side by side
// never collide; stops it again.
class XServer {
public:
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool ok() const { return !name.empty(); }
    const std::string& display() const { return name; }
    const std::string& error() const { return problem; }

private:
    void stop();

    pid_t pid = -1;
    std::string name;
    std::string problem;
};

// A top-level window as a host makes one for a plug-in's editor, at the screen's top left.
class HostWindow {
public:
    HostWindow(const std::string& display, int width, int height);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    bool ok() const { return connection != nullptr; }
    // The window id as a host hands it to the editor-open request.
    void* handle() const;
    // Destroys the window and closes the connection, as a host closing its window does.
    void destroy();
    // Puts the named key symbols on unused keys, as a keyboard layout for another language does.
    bool addKeys(const std::vector<std::string>& keysymNames);

    int children() const;
    int topLevelWindows() const;
    // The window's pixels as the screen shows them, children included.
    std::vector<CColor> screenshot(int width, int height) const;

private:
    int countChildren(unsigned long parent) const;

    _XDisplay* connection = nullptr;
    unsigned long window = 0;
};

// Open socket descriptors of this process: every X connection is one.
int openSockets();
int openDescriptors();

// Runs a program, calling pump until it has finished. Returns its exit status, or -1 when it
// could not run or took longer than timeoutMs.
template <typename Pump>
int runWhile(const std::vector<std::string>& command, Pump pump, int timeoutMs = 30000);

// Starts the program; -1 when it cannot.
pid_t spawn(const std::vector<std::string>& command);
// Its exit status once finished, -2 while it runs, -1 when it failed otherwise.
int finished(pid_t child);
void killChild(pid_t child);
void sleepMs(int milliseconds);

template <typename Pump>
int runWhile(const std::vector<std::string>& command, Pump pump, int timeoutMs) {
    const pid_t child = spawn(command);
    if (child < 0) return -1;
    for (int waited = 0;; waited += 5) {
        const int status = finished(child);
        if (status != -2) return status;
        if (waited > timeoutMs) {
            killChild(child);
            return -1;
        }
        pump();
        sleepMs(5);
    }
}

} // namespace xtest
