#pragma once

// A private X server (Xvfb) for the window tests, and the small host-side X helpers they share.
// Xlib stays out of this header: its macros (None, Bool, Status) break GoogleTest's.

#include "gui/CColor.h"

#include <functional>
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
    pid_t pid = -1;
    std::string name;
    std::string problem;
};

// A top-level window as a host makes one for a plug-in's editor, at the screen's top left.
class HostWindow {
public:
    HostWindow(const std::string& display, int width, int height);
    ~HostWindow() { destroy(); }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    bool ok() const { return connection != nullptr; }
    // The window id as a host hands it to the editor-open request.
    void* handle() const { return reinterpret_cast<void*>(window); }
    // Destroys the window and closes the connection, as a host closing its window does.
    void destroy();
    // Puts the named key symbols on unused keys, as a keyboard layout for another language does.
    bool addKeys(const std::vector<std::string>& keysymNames);

    int children() const { return countChildren(false); }
    int topLevelWindows() const { return countChildren(true); }
    // The window's pixels as the screen shows them, children included.
    std::vector<CColor> screenshot(int width, int height) const;

private:
    int countChildren(bool ofRoot) const;

    _XDisplay* connection = nullptr;
    unsigned long window = 0;
};

// Open descriptors of this process, all or only sockets (every X connection is one).
int openDescriptors(bool socketsOnly = false);

// Runs a program, calling pump every 5 ms until it has finished. Returns its exit status, or -1
// when it could not run or took longer than timeoutMs.
int runWhile(const std::vector<std::string>& command, const std::function<void()>& pump,
             int timeoutMs = 30000);

} // namespace xtest
