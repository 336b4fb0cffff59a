#include "XTestServer.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace xtest {

XServer::XServer() {
    int fds[2];
    if (pipe(fds) != 0) {
        problem = "pipe failed";
        return;
    }
    pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
               "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        problem = "fork failed";
        return;
    }
    std::string number;
    pollfd wait{fds[0], POLLIN, 0};
    while (poll(&wait, 1, 15000) > 0) {
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        problem = "Xvfb did not start (is the Debian package xvfb installed?)";
        stop();
        return;
    }
    name = ":" + number;
}

XServer::~XServer() {
    stop();
}

void XServer::stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
}

HostWindow::HostWindow(const std::string& display, int width, int height) {
    connection = XOpenDisplay(display.c_str());
    if (connection == nullptr) return;
    const int screen = DefaultScreen(connection);
    window = XCreateSimpleWindow(connection, RootWindow(connection, screen), 0, 0,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                 BlackPixel(connection, screen), BlackPixel(connection, screen));
    XSelectInput(connection, window, StructureNotifyMask);
    XMapWindow(connection, window);
    for (;;) {
        XEvent event;
        XNextEvent(connection, &event);
        if (event.type == MapNotify && event.xmap.window == window) break;
    }
}

HostWindow::~HostWindow() {
    destroy();
}

void HostWindow::destroy() {
    if (connection == nullptr) return;
    XDestroyWindow(connection, window);
    XCloseDisplay(connection);
    connection = nullptr;
}

void* HostWindow::handle() const {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(window));
}

bool HostWindow::addKeys(const std::vector<std::string>& keysymNames) {
    int first = 0, last = 0;
    XDisplayKeycodes(connection, &first, &last);
    int perKey = 0;
    KeySym* map =
        XGetKeyboardMapping(connection, static_cast<KeyCode>(first), last - first + 1, &perKey);
    if (map == nullptr) return false;
    int keycode = last;
    bool placed = true;
    for (const std::string& name : keysymNames) {
        const KeySym symbol = XStringToKeysym(name.c_str());
        // The highest key without any symbol.
        for (; keycode >= first; --keycode) {
            bool empty = true;
            for (int i = 0; i < perKey; ++i)
                if (map[(keycode - first) * perKey + i] != NoSymbol) empty = false;
            if (empty) break;
        }
        if (symbol == NoSymbol || keycode < first) {
            placed = false;
            break;
        }
        KeySym both[2] = {symbol, symbol};
        XChangeKeyboardMapping(connection, keycode, 2, both, 1);
        --keycode;
    }
    XFree(map);
    XSync(connection, False);
    return placed;
}

int HostWindow::children() const {
    return countChildren(window);
}

int HostWindow::topLevelWindows() const {
    return countChildren(DefaultRootWindow(connection));
}

int HostWindow::countChildren(unsigned long parent) const {
    Window root = 0, up = 0;
    Window* list = nullptr;
    unsigned count = 0;
    XSync(connection, False);
    if (XQueryTree(connection, parent, &root, &up, &list, &count) == 0) return -1;
    if (list != nullptr) XFree(list);
    return static_cast<int>(count);
}

std::vector<CColor> HostWindow::screenshot(int width, int height) const {
    std::vector<CColor> pixels;
    XSync(connection, False);
    XImage* image = XGetImage(connection, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) return pixels;
    pixels.reserve(static_cast<size_t>(width * height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            pixels.emplace_back(static_cast<unsigned char>((p >> 16) & 0xff),
                                static_cast<unsigned char>((p >> 8) & 0xff),
                                static_cast<unsigned char>(p & 0xff));
        }
    }
    XDestroyImage(image);
    return pixels;
}

namespace {
template <typename Predicate> int countDescriptors(Predicate keep) {
    int count = 0;
    DIR* fds = opendir("/proc/self/fd");
    if (fds == nullptr) return -1;
    const int own = dirfd(fds);
    while (dirent* entry = readdir(fds)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) continue;
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        if (keep(path)) ++count;
    }
    closedir(fds);
    return count;
}
} // namespace

int openSockets() {
    return countDescriptors([](const std::string& path) {
        struct stat info;
        return stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
    });
}

int openDescriptors() {
    return countDescriptors([](const std::string&) { return true; });
}

pid_t spawn(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

int finished(pid_t child) {
    int status = 0;
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == 0) return -2;
    if (done != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void killChild(pid_t child) {
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
}

void sleepMs(int milliseconds) {
    usleep(static_cast<useconds_t>(milliseconds) * 1000);
}

} // namespace xtest
