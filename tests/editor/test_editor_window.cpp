// The editor as a host sees it, on a real X server (Xvfb): the built plug-in is loaded with
// dlopen, its window opened into a host window, xdotool plays the user, and the host's log shows
// what reached it. What the screen shows is sampled where the toolkit's own views say things are
// drawn; the recordings come from `xetetra generate`.

#include "editor/CapsuleSelector.h"
#include "editor/DirectionView.h"
#include "editor/EditorLayout.h"
#include "editor/NoticeView.h"
#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CKnob.h"
#include "gui/COnOffButton.h"
#include "gui/COptionMenu.h"
#include "gui/CSegmentButton.h"
#include "gui/CTextEdit.h"
#include "gui/CVuMeter.h"
#include "integration/VstHost.h"
#include "params/ParameterConversions.h"
#include "support/TempDirectory.h"
#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <malloc.h>
#include <memory>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Last: Xlib's macros would break GoogleTest's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef None
#undef Bool
#undef Status

namespace {

// A private X server (Xvfb) on a display number it picks itself (-displayfd), so that tests
// running side by side never collide.
struct XServer {
    XServer() {
        int fds[2];
        if (pipe(fds) != 0) return;
        const std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb",        "-displayfd", fd.c_str(), "-screen",  "0",
                              "1024x768x24", "-nolisten",  "tcp",      "-noreset", nullptr};
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid, argv[0], &quiet, nullptr, const_cast<char**>(argv), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&quiet);
        close(fds[1]);
        std::string number;
        pollfd wait{fds[0], POLLIN, 0};
        char c = 0;
        while (pid > 0 && poll(&wait, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (!number.empty()) display = ":" + number;
    }
    ~XServer() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    pid_t pid = -1;
    std::string display; // empty when Xvfb did not start
};

// A top-level window as a host makes one for a plug-in's editor, at the screen's top left.
class HostWindow {
public:
    HostWindow(const std::string& display, int width, int height)
        : connection(XOpenDisplay(display.c_str())) {
        if (connection == nullptr) return;
        const int screen = DefaultScreen(connection);
        window =
            XCreateSimpleWindow(connection, RootWindow(connection, screen), 0, 0,
                                static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                BlackPixel(connection, screen), BlackPixel(connection, screen));
        XMapWindow(connection, window); // mapped at once: there is no window manager
        XSync(connection, False);
    }
    ~HostWindow() { destroy(); }
    bool ok() const { return connection != nullptr; }
    // The window id as a host hands it to the editor-open request.
    void* handle() const { return reinterpret_cast<void*>(window); }
    // As a host closing its window does.
    void destroy() {
        if (connection == nullptr) return;
        XDestroyWindow(connection, window);
        XCloseDisplay(connection);
        connection = nullptr;
    }
    // Puts the named key symbols on the last keys, none of which the tests press otherwise, as a
    // keyboard layout for another language does.
    void addKeys(const std::vector<std::string>& keysymNames) {
        int first = 0, keycode = 0;
        XDisplayKeycodes(connection, &first, &keycode);
        for (const std::string& name : keysymNames) {
            KeySym both[2] = {XStringToKeysym(name.c_str()), XStringToKeysym(name.c_str())};
            XChangeKeyboardMapping(connection, keycode--, 2, both, 1);
        }
        XSync(connection, False);
    }
    // Children of this window.
    int children() const {
        Window root = 0, up = 0, *list = nullptr;
        unsigned count = 0;
        XSync(connection, False);
        if (XQueryTree(connection, window, &root, &up, &list, &count) == 0) return -1;
        if (list != nullptr) XFree(list);
        return static_cast<int>(count);
    }
    // The window's pixels as the screen shows them, children included.
    std::vector<CColor> screenshot(int width, int height) const {
        std::vector<CColor> pixels;
        XSync(connection, False);
        XImage* image = XGetImage(connection, window, 0, 0, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (image == nullptr) return pixels;
        for (int i = 0; i < width * height; ++i) {
            const unsigned long p = XGetPixel(image, i % width, i / width);
            pixels.emplace_back(p >> 16 & 0xff, p >> 8 & 0xff, p & 0xff);
        }
        XDestroyImage(image);
        return pixels;
    }

private:
    Display* connection = nullptr;
    Window window = 0;
};

// Open descriptors of this process, all or only sockets (every X connection is one).
int openDescriptors(bool socketsOnly = false) {
    int count = 0;
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error))
        count += !socketsOnly || std::filesystem::is_socket(fd.path(), error) ? 1 : 0;
    return count;
}

std::string str(double value) {
    return std::to_string(static_cast<int>(std::lround(value)));
}

// One gesture as the host heard it: begin-edit, automate (the last value), end-edit.
struct Gesture {
    VstInt32 index = -1;
    int changes = 0;
    float value = 0.0f;
    bool ended = false;
};

class EditorWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (server.display.empty())
            GTEST_SKIP() << "Xvfb did not start (is the Debian package xvfb installed?), so the "
                            "window tests do not run";
        setenv("DISPLAY", server.display.c_str(), 1);
        setenv("HOME", home.path().c_str(), 1);
        unsetenv("XETETRA_CALIBRATIONS");
        library =
            std::make_unique<vsthost::Library>(std::string(XETETRA_BINARY_DIR) + "/XeTetraVST.so");
        ASSERT_TRUE(library->loaded()) << library->loadError();
    }
    void load() {
        plugin = std::make_unique<vsthost::Plugin>(*library, &host);
        ASSERT_TRUE(plugin->ok());
        plugin->dispatch(effOpen);
    }
    // Loads the plug-in, with an empty calibrations directory so that it has nothing to
    // report, and opens its window into a host window.
    void openWindow() {
        setenv("XETETRA_CALIBRATIONS", home.makeDirectory("calibrations").c_str(), 1);
        load();
        ERect* rect = nullptr;
        ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
        ASSERT_EQ(std::vector<int>({rect->top, rect->left, rect->bottom, rect->right}),
                  std::vector<int>({0, 0, height, width}));
        window = std::make_unique<HostWindow>(server.display, width, height);
        ASSERT_TRUE(window->ok());
        ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window->handle()), 1);
        idle();
    }
    void idle(int rounds = 6) {
        for (int i = 0; i < rounds; ++i) {
            plugin->dispatch(effEditIdle);
            usleep(5000);
        }
    }
    // The user, through xdotool; the editor handles what the user did at the host's next idles.
    void user(const std::vector<std::string>& arguments) {
        tooltest::RunOptions options;
        options.timeoutSeconds = 30;
        const tooltest::RunResult run =
            tooltest::runProgram("/usr/bin/xdotool", arguments, "", options);
        ASSERT_EQ(run.status, 0) << "xdotool failed (is the Debian package xdotool installed?) "
                                 << run.err;
        idle(4);
    }
    void click(double x, double y, const char* button = "1") {
        user({"mousemove", str(x), str(y), "click", button});
    }
    void drag(double x, double y, int dx, int dy, bool fine = false) {
        // With Shift held for a fine drag; "sleep 0" is xdotool's no-op.
        const std::string press = fine ? "keydown" : "sleep", release = fine ? "keyup" : "sleep",
                          shift = fine ? "shift" : "0";
        user({press, shift, "mousemove", str(x), str(y), "mousedown", "1", "mousemove",
              str(x + dx / 2.0), str(y + dy / 2.0), "mousemove", str(x + dx), str(y + dy),
              "mouseup", "1", release, shift});
    }
    void keys(std::vector<std::string> names) {
        names.insert(names.begin(), "key");
        user(names);
    }
    void setView(int view) {
        plugin->setParameter(kViewMode, (view - 1) / 2.0f);
        idle();
    }

    // The gestures the host heard since `from`; an automation or end outside a gesture fails.
    std::vector<Gesture> gesturesSince(size_t from) const {
        std::vector<Gesture> list;
        const std::vector<vsthost::HostRequest> requests = host.requests();
        for (size_t i = from; i < requests.size(); ++i) {
            const vsthost::HostRequest& r = requests[i];
            if (r.opcode == audioMasterBeginEdit)
                list.push_back({r.index, 0, 0.0f, false});
            else if (r.opcode != audioMasterAutomate && r.opcode != audioMasterEndEdit)
                continue;
            else if (list.empty() || list.back().ended || list.back().index != r.index)
                ADD_FAILURE() << "request " << r.opcode << " on " << r.index
                              << " outside a gesture";
            else if (r.opcode == audioMasterAutomate)
                list.back() = {r.index, list.back().changes + 1, r.opt, false};
            else
                list.back().ended = true;
        }
        return list;
    }
    // What the user does, and the one change the host must hear of it: exactly one gesture
    // changes something, parameter index to value, now the plug-in's value too.
    void step(const std::function<void()>& act, int index, float value, float tolerance = 1e-6f) {
        const size_t from = host.requests().size();
        act();
        std::vector<Gesture> changing;
        for (const Gesture& g : gesturesSince(from)) {
            EXPECT_TRUE(g.ended) << "the gesture on " << g.index << " never ended";
            if (g.changes > 0) changing.push_back(g);
        }
        ASSERT_EQ(changing.size(), 1u) << "expected one change of parameter " << index;
        EXPECT_EQ(changing[0].index, index);
        EXPECT_NEAR(changing[0].value, value, tolerance) << "parameter " << index;
        EXPECT_EQ(plugin->getParameter(index), changing[0].value);
    }
    std::set<int> changedSince(size_t from) const {
        std::set<int> indices;
        for (const Gesture& g : gesturesSince(from))
            if (g.changes > 0) indices.insert(g.index);
        return indices;
    }

    std::vector<CColor> screenshot() const { return window->screenshot(width, height); }
    CColor pixel(const std::vector<CColor>& shot, double x, double y) const {
        return shot[static_cast<size_t>(std::lround(y) * width + std::lround(x))];
    }
    // Whether the name field shows `name`: its pixels against the toolkit's own drawing of the
    // field over the picture.
    void expectShows(const char* name) {
        CBitmap picture(128);
        CDrawContext context(width, height);
        picture.draw(&context, CRect(0, 0, width, height));
        CTextEdit field(layout::kNameField, nullptr, 1024, name);
        field.setFrameColor(CColor(149, 111, 42, 0));
        field.setBackColor(CColor(149, 111, 42, 0));
        field.draw(&context);
        const std::vector<CColor> shown = screenshot();
        int differing = 0;
        for (int y = layout::kNameField.top; y < layout::kNameField.bottom; ++y)
            for (int x = layout::kNameField.left; x < layout::kNameField.right; ++x)
                differing += pixel(shown, x, y) != context.getPixel(x, y) ? 1 : 0;
        EXPECT_EQ(differing, 0) << "the field does not show \"" << name << "\"";
    }

    XServer server;
    TempDirectory home;
    std::unique_ptr<vsthost::Library> library;
    vsthost::HostState host;
    std::unique_ptr<vsthost::Plugin> plugin;
    std::unique_ptr<HostWindow> window;
    const int width = layout::kWidth, height = layout::kHeight; // the picture's size
};

} // namespace

TEST_F(EditorWindowTest, WindowShowsTheProgramNameAndRenamesIt) {
    openWindow();
    EXPECT_EQ(window->children(), 1);
    plugin->setProgram(1);
    idle();
    expectShows("1.47cm");

    // The user renames it: keys of other layouts (a Latin-1 letter, and the euro
    // sign and a Cyrillic letter whose key symbols predate Unicode ones); a name too long for a
    // program, cut to 23 characters.
    window->addKeys({"eacute", "EuroSign", "Cyrillic_ka"});
    const std::string cafe = "Caf\xc3\xa9 \xe2\x82\xac\xd0\xba";
    const std::pair<std::string, std::string> names[] = {
        {cafe, cafe}, {"A very long program name indeed", "A very long program nam"}};
    for (const auto& name : names) {
        user({"mousemove", "200", "60", "click", "1", "key", "End", "key", "--repeat", "30",
              "BackSpace", "type", "--delay", "15", name.first});
        user({"key", "Return"});
        EXPECT_EQ(plugin->programName(), name.second);
        expectShows(name.second.c_str());
    }

    // Escape cancels, a click on the bare panel confirms.
    user({"mousemove", "100", "60", "click", "1", "type", "xyz"});
    user({"key", "Escape"});
    EXPECT_EQ(plugin->programName(), "A very long program nam");
    user({"mousemove", "100", "60", "click", "1", "key", "Home", "key", "Delete", "key", "Delete"});
    user({"mousemove", "380", "30", "click", "1"});
    EXPECT_EQ(plugin->programName(), "very long program nam");

    // The program menu lists the programs by name and selects one; the host hears of it.
    const size_t from = host.requests().size();
    click(layout::kProgramMenu.centerX(), layout::kProgramMenu.centerY());
    user({"mousemove", str(layout::kProgramMenu.left + 40),
          str(layout::kProgramMenu.bottom + 2 + 3 + COptionMenu::kEntryHeight * 2.5), "click",
          "1"});
    EXPECT_EQ(plugin->dispatch(effGetProgram), 2);
    expectShows("User 2");
    EXPECT_GT(host.count(audioMasterUpdateDisplay), 0);
    EXPECT_TRUE(changedSince(from).empty()); // a program is no parameter gesture

    // Reopened, the window shows the current name again.
    plugin->dispatch(effEditClose);
    plugin->setProgram(1);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window->handle()), 1);
    idle();
    expectShows("very long program nam");
    plugin->dispatch(effEditClose);
}

// Every kind of control by mouse and keys, then every control of each view by Tab, reaches the
// host as a gesture; the host's changes are drawn.
TEST_F(EditorWindowTest, EveryControlReachesTheHostAsAGestureAndHostChangesAreDrawn) {
    openWindow();
    const float cut = plugin->getParameter(kLFCutFreq); // the program's 25 Hz
    const auto capsuleGain = [](int capsule, int output) {
        return kCapsuleBase + kParamsPerCapsule * capsule + kCapOutGain + output;
    };
    double x = 0.0, y = 0.0, radius = 0.0;
    CKnob(layout::kLFCutFreq, nullptr, 0).getKnobCircle(&x, &y, &radius);
    const auto doubleClick = [&] {
        user({"mousemove", str(x), str(y), "click", "--repeat", "2", "--delay", "80", "1"});
    };
    // A knob: dragged 40 px up, then 40 px with Shift (ten times finer), the wheel, the keys,
    // and a double click back to the program's value; End, then Up at the end (no gesture),
    // and Backspace back to it again.
    step([&] { drag(x, y, 0, -40); }, kLFCutFreq, cut + 0.2f, 0.002f);
    step([&] { drag(x, y, 0, -40, true); }, kLFCutFreq, cut + 0.22f, 0.002f);
    step([&] { click(x, y, "4"); }, kLFCutFreq, cut + 0.23f, 0.002f);
    step([&] { keys({"Down"}); }, kLFCutFreq, cut + 0.22f, 0.002f);
    step([&] { keys({"shift+Down"}); }, kLFCutFreq, cut + 0.219f, 0.002f);
    step(doubleClick, kLFCutFreq, cut);
    step([&] { keys({"End"}); }, kLFCutFreq, 1.0f);
    const size_t atEnd = host.requests().size();
    step([&] { keys({"Up", "BackSpace"}); }, kLFCutFreq, cut);
    EXPECT_EQ(gesturesSince(atEnd).size(), 1u);

    // A switch: a click, then Space.
    COnOffButton(layout::kEQsEnabled, nullptr, 0, "").getLightCircle(&x, &y, &radius);
    step([&] { click(x, y); }, kEQsEnabled, 1.0f);
    step([&] { keys({"space"}); }, kEQsEnabled, 0.0f);

    // A menu of the post-matrix sets by name: a pick from the list (the keys: the Tab walk).
    const CRect menu = layout::kPostMatrixMenu;
    step(
        [&] {
            click(menu.centerX(), menu.centerY());
            click(menu.left + 40, menu.bottom + 2 + 3 + COptionMenu::kEntryHeight * 1.5);
        },
        kPostMatrixFilter, 1.0f / 7.0f);

    // The tabs choose the view: Capsule by a click.
    CSegmentButton tabs(layout::kTabs, nullptr, 0);
    for (const char* label : {"Setup", "Capsule", "Matrix"})
        tabs.addSegment(label);
    const CRect capsuleTab = tabs.getSegmentRect(1);
    step([&] { click(capsuleTab.centerX(), capsuleTab.centerY()); }, kViewMode, 0.5f);

    // The capsule drawing: a click on capsule 3, then the digit 4; the knobs follow the capsule.
    CCapsuleSelector(layout::kCapsuleSelector, nullptr, 0).getCapsulePoint(2, &x, &y);
    step([&] { click(x, y); }, kCurrentCapsule, 2.0f / 3.0f);
    CKnob(layout::gainKnob(0), nullptr, 0).getKnobCircle(&x, &y, &radius);
    step([&] { click(x, y, "5"); }, capsuleGain(2, 0), 0.49f, 1e-5f);
    step([&] { keys({"4"}); }, kCurrentCapsule, 1.0f); // the drawing kept the keys, not the wheel

    // The Matrix view by the keys on the tabs; a cell dragged right, another by the keys.
    click(capsuleTab.centerX(), capsuleTab.centerY());
    step([&] { keys({"Right"}); }, kViewMode, 1.0f);
    const CRect cell = layout::matrixCell(1, 2), output = layout::outputGainCell(1);
    step([&] { drag(cell.centerX(), cell.centerY(), 20, 0); }, capsuleGain(1, 2), 0.6f, 0.002f);
    click(output.centerX(), output.centerY());
    step([&] { keys({"Page_Down"}); }, kOutputGainBase + 1, 0.4f, 1e-5f);

    // From the tabs, Tab walks the view's controls in order and ends at "Display VU"; Down and
    // Up on each change it (the pre-matrix menu lists "None" only, so it stays). The capsule's
    // knobs follow the host's choice of capsule.
    plugin->setParameter(kCurrentCapsule, 0.0f);
    const CRect first = CSegmentButton(layout::kTabs, nullptr, 0).getViewSize();
    const struct {
        int view;
        int stops;
        std::set<int> reached;
    } walks[] = {
        {1, 15, {0, 1, 2, 7, 10, 6, 4, 3, 46, 47, 48, 49, 50, kDisplayVU}},
        {2, 11, {8, 9, kCurrentCapsule, kDisplayVU, 14, 15, 16, 17, 18, 19, 20}}, // capsule 1
        // Every capsule's four gains and the four output gains.
        {3, 21, {kDisplayVU, 17, 18, 19, 20, 24, 25, 26, 27, 31, 32,
                 33,         34, 38, 39, 40, 41, 42, 43, 44, 45}},
    };
    for (const auto& walk : walks) {
        SCOPED_TRACE("view " + std::to_string(walk.view));
        setView(walk.view);
        // The tabs take the keys after a click on the tab already chosen (no change).
        click(first.left + first.width() * (2 * walk.view - 1) / 6, first.centerY());
        const size_t from = host.requests().size();
        std::vector<std::string> steps;
        for (int i = 0; i < walk.stops; ++i)
            steps.insert(steps.end(), {"Tab", "Down", "Up"});
        keys(steps);
        EXPECT_EQ(changedSince(from), walk.reached);
    }

    // Host changes show at the next idle: a knob's arc, the view.
    const auto isGold = [](const CColor& c) {
        return c.red > c.blue + 80 && c.green > c.blue + 40;
    };
    setView(1);
    CKnob(layout::kLFCutFreq, nullptr, 0).getKnobCircle(&x, &y, &radius);
    const double end = CKnob::angleOf(0.97f) * M_PI / 180.0;
    const double arcX = x + std::cos(end) * (radius - 1.5),
                 arcY = y + std::sin(end) * (radius - 1.5);
    EXPECT_FALSE(isGold(pixel(screenshot(), arcX, arcY)));
    plugin->setParameter(kLFCutFreq, 1.0f);
    idle();
    EXPECT_TRUE(isGold(pixel(screenshot(), arcX, arcY)));
    CCapsuleSelector(layout::kCapsuleSelector, nullptr, 0).getCapsulePoint(0, &x, &y);
    EXPECT_FALSE(isGold(pixel(screenshot(), x - 5, y + 5)));
    setView(2);
    EXPECT_TRUE(isGold(pixel(screenshot(), x - 5, y + 5))) << "no Capsule view, capsule 1 chosen";
    plugin.reset(); // the host may delete the plug-in with its window open
}

TEST_F(EditorWindowTest, MetersAndDirectionFollowAGeneratedRecording) {
    openWindow();
    plugin->start(48000.0f, 512);
    plugin->setParameter(kDisplayVU, 1.0f); // program 0, the factory program, stays selected
    double cx = 0.0, cy = 0.0, radius = 0.0;
    CDirectionView(layout::kDirectionView).getSphere(&cx, &cy, &radius);

    // Plays a recording of a source from a known direction, as xetetra makes it, through the
    // plug-in as a host does, idling the editor between blocks. Ends with the editor showing the
    // latest block.
    vsthost::Channels out;
    auto play = [&](const char* signal, double azimuth, double elevation) {
        const std::string path = home.file("source.wav");
        const tooltest::RunResult run = tooltest::runTool(
            {"generate", "--signal", signal, "--azimuth", std::to_string(azimuth), "--elevation",
             std::to_string(elevation), "--seconds", "3", "--bits", "float", "--force", path});
        ASSERT_EQ(run.status, 0) << run.err;
        const tooltest::Sound sound = tooltest::readSound(path);
        ASSERT_TRUE(sound.ok && sound.channels.size() == 4) << path;
        const vsthost::Channels& in = sound.channels;
        const size_t frames = in[0].size();
        out = vsthost::makeChannels(frames);
        for (size_t first = 0; first < frames; first += 512) {
            plugin->processBlock(in, out, first,
                                 static_cast<int>(std::min<size_t>(512, frames - first)));
            if ((first / 512) % 8 == 0) plugin->dispatch(effEditIdle);
        }
        for (int i = 0; i < 6; ++i) {
            plugin->processBlock(in, out, frames - 512, 512); // the host keeps playing
            plugin->dispatch(effEditIdle);
            usleep(5000);
        }
    };
    const struct { double azimuth, elevation; } sources[] = {{60, 25}, {-120, -35}, {170, 65}};
    for (const auto& source : sources) {
        SCOPED_TRACE(std::to_string(source.azimuth) + ", " + std::to_string(source.elevation));
        ASSERT_NO_FATAL_FAILURE(play("noise", source.azimuth, source.elevation));
        // The dot's centre: the mean of the pixels of its colour, turned back into a direction.
        const std::vector<CColor> shot = screenshot();
        double sumX = 0.0, sumY = 0.0;
        int count = 0;
        for (int py = layout::kDirectionView.top; py < layout::kDirectionView.bottom; ++py)
            for (int px = layout::kDirectionView.left; px < layout::kDirectionView.right; ++px)
                if (pixel(shot, px, py) == CDirectionView::kDotColor) {
                    sumX += px + 0.5;
                    sumY += py + 0.5;
                    ++count;
                }
        ASSERT_GT(count, 40) << "no dot on the sphere";
        const double dx = sumX / count - cx, dy = sumY / count - cy;
        const double azimuth = std::atan2(-dx, -dy) * 180.0 / M_PI;
        EXPECT_NEAR(std::remainder(azimuth - source.azimuth, 360.0), 0.0, 5.0);
        EXPECT_NEAR(90.0 - std::hypot(dx, dy) / radius * 180.0, source.elevation, 5.0);
    }

    // A tone: the meters against its peak and RMS level in each output over the last second. A
    // click on a meter lets go of the peak held from the noise before.
    ASSERT_NO_FATAL_FAILURE(play("tone", 30, 20));
    for (int k = 0; k < 4; ++k)
        click(layout::meter(k).centerX(), layout::meter(k).centerY());
    ASSERT_NO_FATAL_FAILURE(play("tone", 30, 20));
    const std::vector<CColor> shot = screenshot();
    for (size_t k = 0; k < 4; ++k) {
        SCOPED_TRACE("output " + std::to_string(k));
        double peak = 0.0, squares = 0.0;
        for (size_t i = out[k].size() - 24000; i < out[k].size(); ++i) {
            peak = std::fmax(peak, std::fabs(out[k][i]));
            squares += static_cast<double>(out[k][i]) * out[k][i];
        }
        const CRect bar =
            CVuMeter(layout::meter(static_cast<int>(k)), layout::kMeterMinDb, layout::kMeterMaxDb)
                .getBarRect();
        auto dbOf = [&](int row) {
            return layout::kMeterMinDb +
                   (bar.bottom - row) * (layout::kMeterMaxDb - layout::kMeterMinDb) / bar.height();
        };
        int holdRow = -1, rmsRow = -1;
        for (int row = bar.top; row < bar.bottom; ++row) {
            const CColor c = pixel(shot, bar.centerX(), row);
            if (holdRow < 0 && c == CVuMeter::kHoldColor) holdRow = row;
            if (rmsRow < 0 &&
                (c == CVuMeter::kGreen || c == CVuMeter::kAmber || c == CVuMeter::kRed))
                rmsRow = row;
        }
        // A row not found reads above the meter's top.
        EXPECT_NEAR(dbOf(holdRow), 20.0 * std::log10(peak), 1.0);
        EXPECT_NEAR(dbOf(rmsRow), 10.0 * std::log10(squares / 24000.0), 1.0);
    }

    // The three views as the user sees them, with a source playing, kept in build/artefacts for
    // people to look at.
    const std::string folder = std::string(XETETRA_BINARY_DIR) + "/artefacts";
    mkdir(folder.c_str(), 0755);
    for (const char* view : {"setup", "capsule", "matrix"}) {
        plugin->setParameter(kViewMode, view[0] == 's' ? 0.0f : view[0] == 'c' ? 0.5f : 1.0f);
        ASSERT_NO_FATAL_FAILURE(play("noise", 60, 25));
        std::vector<uint32_t> rgb;
        for (const CColor& c : screenshot())
            rgb.push_back(uint32_t{c.red} << 16 | uint32_t{c.green} << 8 | c.blue);
        cairo_surface_t* image =
            cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(rgb.data()),
                                                CAIRO_FORMAT_RGB24, width, height, 4 * width);
        const std::string file = folder + "/editor-" + view + ".png";
        EXPECT_EQ(cairo_surface_write_to_png(image, file.c_str()), CAIRO_STATUS_SUCCESS);
        cairo_surface_destroy(image);
    }

    // "Display VU" off: the meters empty, no dot.
    plugin->setParameter(kDisplayVU, 0.0f);
    ASSERT_NO_FATAL_FAILURE(play("noise", 60, 25));
    const std::vector<CColor> off = screenshot();
    const CRect bar =
        CVuMeter(layout::meter(0), layout::kMeterMinDb, layout::kMeterMaxDb).getBarRect();
    for (int row = bar.top + 2; row < bar.bottom - 1; row += 7)
        EXPECT_LT(pixel(off, bar.left + 3, row).green, 60) << "row " << row;
    EXPECT_EQ(std::count(off.begin(), off.end(), CDirectionView::kDotColor), 0);
    plugin->dispatch(effEditClose);
}

// With no calibrations a scan opens nothing and the window shows the notice; then opening and
// closing the window fifty times leaves nothing behind.
TEST_F(EditorWindowTest, MissingCalibrationsShowInTheEditorAndOpenCloseLeavesNothingBehind) {
    // HOME is an empty directory: no calibrations anywhere. The host's window is there already.
    window = std::make_unique<HostWindow>(server.display, width, height);
    ASSERT_TRUE(window->ok());
    const int sockets = openDescriptors(true);

    // Constructed, the plug-in says so on standard error (how fast it loads is the hostile
    // suite's).
    ::testing::internal::CaptureStderr();
    load();
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("XeTetraVST: Calibrations directory not found; looked in "
                          "/Library/Audio/Plug-Ins/VST/calibrations, " +
                          home.path() + "/Library/Audio/Plug-Ins/VST/calibrations, "),
              std::string::npos)
        << errors;
    // What a scanning host asks, some audio with the meters on, an idle before any open: still
    // no display connection (so no window either).
    plugin->start();
    plugin->setParameter(kDisplayVU, 1.0f);
    plugin->process(vsthost::makeChannels(2048, 0.25f));
    plugin->dispatch(effEditIdle);
    EXPECT_EQ(openDescriptors(true), sockets);

    // The editor shows the notice over everything, with its OK button where the view puts it.
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window->handle()), 1);
    EXPECT_EQ(openDescriptors(true), sockets + 1); // the frame's own connection
    idle();
    const std::vector<CColor> covered = screenshot();
    const CRect ok = CNoticeView(CRect(0, 0, width, height), nullptr, 0).getOkButtonRect();
    const CColor button = pixel(covered, ok.left + 12, ok.top + 4);
    EXPECT_GT(button.blue, button.red + 60) << "no OK button";

    // A click beside the button, or on a control under the notice, changes nothing; on it,
    // the notice goes.
    const size_t from = host.requests().size();
    click(ok.left - 40, ok.top + 5);
    click(layout::kEQsEnabled.left + 10, layout::kEQsEnabled.centerY());
    EXPECT_TRUE(gesturesSince(from).empty());
    EXPECT_EQ(screenshot(), covered);
    click(ok.centerX(), ok.centerY());
    const std::vector<CColor> uncovered = screenshot();
    int changed = 0;
    for (size_t i = 0; i < covered.size(); ++i)
        changed += covered[i] != uncovered[i] ? 1 : 0;
    EXPECT_GT(changed, width * height * 8 / 10) << "the notice did not cover the window";
    expectShows("Ambrel - uncalibrated");
    plugin->dispatch(effEditClose);

    // The notice above warmed up the libraries, which set up their caches at first use.
    vsthost::Channels in = vsthost::makeChannels(512, 0.1f), out = vsthost::makeChannels(512);
    const int descriptors = openDescriptors();
    [[maybe_unused]] size_t heap = 0; // unchecked under the sanitizers
    for (int round = 0; round < 50; ++round) {
        if (round == 10) heap = mallinfo2().uordblks;
        ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window->handle()), 1);
        if (round % 4 == 0) plugin->dispatch(effEditOpen, 0, 0, window->handle()); // again
        plugin->processBlock(in, out, 0, 512);
        idle(1);
        // Closed in the middle of an edit, of a drag, with the program list open.
        const size_t from = host.requests().size();
        if (round % 4 == 1) user({"mousemove", "150", "60", "click", "1", "type", "ab"});
        if (round % 4 == 2)
            user({"mousemove", str(layout::kLFCutFreq.centerX()), str(layout::kLFCutFreq.centerY()),
                  "mousedown", "1", "mousemove", "170", "150"});
        if (round % 4 == 3)
            user({"mousemove", str(layout::kProgramMenu.centerX()),
                  str(layout::kProgramMenu.centerY()), "click", "1"});
        plugin->dispatch(effEditClose);
        for (const Gesture& g : gesturesSince(from))
            EXPECT_TRUE(g.ended); // a drag cut short by the close still ends for the host
        if (round % 4 == 2) user({"mouseup", "1"});
        ASSERT_EQ(window->children(), 0);
    }
    EXPECT_EQ(openDescriptors(), descriptors);
    // Under the sanitizers the allocator is theirs, and they check leaks themselves. A window's
    // controls or surface left behind each round would add megabytes over 40 rounds; the bound
    // leaves room for the libraries' caches, which grow a little more on a loaded machine.
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(mallinfo2().uordblks, heap + 65536) << "the heap grew over 40 rounds";
#endif
    EXPECT_EQ(plugin->programName(), "Ambrel - uncalibrated"); // the cut edits are dropped

    // A window id that names no window, and a host that destroys its window before closing the
    // editor: under the default X error handler either would end the process.
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{0x3fffff0})),
              1);
    idle(2);
    plugin->dispatch(effEditClose);
    EXPECT_EQ(openDescriptors(), descriptors);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window->handle()), 1);
    idle(2);
    window->destroy();
    plugin->setProgram(1);
    idle(4);
    plugin->dispatch(effEditClose);
    EXPECT_EQ(openDescriptors(), descriptors - 1); // the host window's connection went
}
