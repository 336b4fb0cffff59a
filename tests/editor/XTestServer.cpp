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
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
               "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd wait{fds[0], POLLIN, 0};
    char c = 0;
    while (pid > 0 && poll(&wait, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty())
        problem = "Xvfb did not start (is the Debian package xvfb installed?)";
    else
        name = ":" + number;
}

XServer::~XServer() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
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
    XEvent event;
    do
        XNextEvent(connection, &event);
    while (event.type != MapNotify || event.xmap.window != window);
}

void HostWindow::destroy() {
    if (connection == nullptr) return;
    XDestroyWindow(connection, window);
    XCloseDisplay(connection);
    connection = nullptr;
}

bool HostWindow::addKeys(const std::vector<std::string>& keysymNames) {
    int first = 0, last = 0, perKey = 0;
    XDisplayKeycodes(connection, &first, &last);
    KeySym* map =
        XGetKeyboardMapping(connection, static_cast<KeyCode>(first), last - first + 1, &perKey);
    if (map == nullptr) return false;
    auto unused = [&](int keycode) {
        for (int i = 0; i < perKey; ++i)
            if (map[(keycode - first) * perKey + i] != NoSymbol) return false;
        return true;
    };
    int keycode = last;
    bool placed = true;
    for (const std::string& name : keysymNames) {
        while (keycode >= first && !unused(keycode))
            --keycode;
        KeySym both[2] = {XStringToKeysym(name.c_str()), XStringToKeysym(name.c_str())};
        if (both[0] == NoSymbol || keycode < first) {
            placed = false;
            break;
        }
        XChangeKeyboardMapping(connection, keycode--, 2, both, 1);
    }
    XFree(map);
    XSync(connection, False);
    return placed;
}

int HostWindow::countChildren(bool ofRoot) const {
    Window root = 0, up = 0;
    Window* list = nullptr;
    unsigned count = 0;
    XSync(connection, False);
    if (XQueryTree(connection, ofRoot ? DefaultRootWindow(connection) : window, &root, &up, &list,
                   &count) == 0)
        return -1;
    if (list != nullptr) XFree(list);
    return static_cast<int>(count);
}

std::vector<CColor> HostWindow::screenshot(int width, int height) const {
    std::vector<CColor> pixels;
    XSync(connection, False);
    XImage* image = XGetImage(connection, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) return pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            pixels.emplace_back(p >> 16 & 0xff, p >> 8 & 0xff, p & 0xff);
        }
    }
    XDestroyImage(image);
    return pixels;
}

int openDescriptors(bool socketsOnly) {
    int count = 0;
    DIR* fds = opendir("/proc/self/fd");
    if (fds == nullptr) return -1;
    while (dirent* entry = readdir(fds)) {
        struct stat info;
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == dirfd(fds)) continue;
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        if (!socketsOnly || (stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode))) ++count;
    }
    closedir(fds);
    return count;
}

int runWhile(const std::vector<std::string>& command, const std::function<void()>& pump,
             int timeoutMs) {
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (child < 0) return -1;
    for (int waited = 0; waited <= timeoutMs; waited += 5) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done != 0) return -1;
        pump();
        usleep(5000);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

} // namespace xtest
