// The editor as a host sees it, on a real X server (Xvfb): the built plug-in is loaded with
// dlopen, its window opened into a host window, and what the screen shows is checked against the
// picture and against the toolkit's own offscreen drawing of the expected field. xdotool plays
// the user.

#include "XTestServer.h"
#include "editor/NoticeView.h"
#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CTextEdit.h"
#include "integration/VstHost.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string kPluginPath = std::string(XETETRA_BINARY_DIR) + "/XeTetraVST.so";
const char kMissingDirectory[] =
    "Calibrations directory (/Library/Audio/Plug-Ins/VST/calibrations) not found";
const CRect kField(72, 53, 215, 68);

class EditorWindowTest : public ::testing::Test {
protected:
    using HostWindow = xtest::HostWindow;

    void SetUp() override {
        server = std::make_unique<xtest::XServer>();
        if (!server->ok())
            GTEST_SKIP() << "No X server could be started, so the window tests do not run: "
                         << server->error();
        saved("DISPLAY", &savedDisplay);
        saved("HOME", &savedHome);
        setenv("DISPLAY", server->display().c_str(), 1);
        setenv("HOME", home.path().c_str(), 1);
        library = std::make_unique<vsthost::Library>(kPluginPath);
        ASSERT_TRUE(library->loaded()) << library->loadError();
        picture = std::make_unique<CBitmap>(128);
        ASSERT_TRUE(picture->isLoaded());
        width = picture->getWidth();
        height = picture->getHeight();
    }
    void TearDown() override {
        plugin.reset();
        library.reset();
        restore("DISPLAY", savedDisplay);
        restore("HOME", savedHome);
    }

    static void saved(const char* name, std::string* value) {
        const char* current = std::getenv(name);
        *value = current != nullptr ? current : std::string("\x01");
    }
    static void restore(const char* name, const std::string& value) {
        if (value == "\x01")
            unsetenv(name);
        else
            setenv(name, value.c_str(), 1);
    }

    // The per-user calibrations directory, empty: the plug-in then has nothing to report.
    void makeCalibrationsDirectory() {
        std::string path = home.path();
        for (const char* part : {"Library", "Audio", "Plug-Ins", "VST", "calibrations"}) {
            path += std::string("/") + part;
            mkdir(path.c_str(), 0755);
        }
    }

    void load() {
        plugin = std::make_unique<vsthost::Plugin>(*library, &host);
        ASSERT_TRUE(plugin->ok());
        plugin->dispatch(effOpen);
    }

    void idle(int rounds = 6) {
        for (int i = 0; i < rounds; ++i) {
            plugin->dispatch(effEditIdle);
            usleep(5000);
        }
    }

    // The user, through xdotool, while the host keeps idling the editor.
    void user(const std::vector<std::string>& arguments) {
        std::vector<std::string> command = {"xdotool"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const int status = xtest::runWhile(command, [&] { plugin->dispatch(effEditIdle); });
        ASSERT_EQ(status, 0) << "xdotool failed (is the Debian package xdotool installed?)";
        idle(10);
    }

    // What the window should show: the picture with the field drawn by the toolkit itself.
    std::vector<CColor> expected(const char* fieldText) const {
        CDrawContext context(width, height);
        picture->draw(&context, CRect(0, 0, width, height));
        if (fieldText != nullptr) {
            CTextEdit field(kField, nullptr, 1024, fieldText);
            field.setFrameColor(CColor(149, 111, 42, 0));
            field.setBackColor(CColor(149, 111, 42, 0));
            context.pushClip(kField);
            field.draw(&context);
            context.popClip();
        }
        std::vector<CColor> pixels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels.push_back(context.getPixel(x, y));
        return pixels;
    }

    struct Difference {
        int inField = 0;
        int outside = 0;
    };
    Difference compare(const std::vector<CColor>& shown, const std::vector<CColor>& wanted) const {
        Difference difference;
        if (shown.size() != wanted.size()) {
            difference.outside = -1;
            return difference;
        }
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const size_t i = static_cast<size_t>(y * width + x);
                if (shown[i] == wanted[i]) continue;
                if (kField.pointInside(x, y))
                    ++difference.inField;
                else
                    ++difference.outside;
            }
        }
        return difference;
    }

    void expectShows(const HostWindow& window, const char* name) {
        const Difference difference = compare(window.screenshot(width, height), expected(name));
        EXPECT_EQ(difference.outside, 0) << "the picture is not shown as drawn";
        EXPECT_EQ(difference.inField, 0) << "the field does not show \"" << name << "\"";
    }

    std::unique_ptr<xtest::XServer> server;
    TempDirectory home;
    std::string savedDisplay;
    std::string savedHome;
    std::unique_ptr<vsthost::Library> library;
    vsthost::HostState host;
    std::unique_ptr<vsthost::Plugin> plugin;
    std::unique_ptr<CBitmap> picture;
    int width = 0;
    int height = 0;
};

} // namespace

TEST_F(EditorWindowTest, WindowShowsThePictureAndTheProgramNameAndRenamesIt) {
    makeCalibrationsDirectory();
    load();
    EXPECT_NE(plugin->record()->flags & effFlagsHasEditor, 0);

    ERect* rect = nullptr;
    ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, height);
    EXPECT_EQ(rect->right, width);

    HostWindow window(server->display(), rect->right, rect->bottom);
    ASSERT_TRUE(window.ok());
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window.handle()), 1);
    EXPECT_EQ(window.children(), 1);
    idle();
    expectShows(window, "Ambrel - uncalibrated");

    // The host selects another program: the next idle calls show its name.
    const std::vector<CColor> before = window.screenshot(width, height);
    plugin->setProgram(1);
    idle();
    expectShows(window, "1.47cm");
    EXPECT_GT(compare(window.screenshot(width, height), before).inField, 0);

    // The user renames it.
    user({"mousemove", "200", "60", "click", "1"});
    user({"key", "End", "key", "--repeat", "30", "BackSpace"});
    user({"type", "--delay", "15", "Studio Hall 2"});
    user({"key", "Return"});
    EXPECT_EQ(plugin->programName(), "Studio Hall 2");
    expectShows(window, "Studio Hall 2");

    // Keys of other layouts: a Latin-1 letter, and the euro sign and a Cyrillic letter whose key
    // symbols predate Unicode ones.
    ASSERT_TRUE(window.addKeys({"eacute", "EuroSign", "Cyrillic_ka"}));
    user({"mousemove", "150", "60", "click", "1"});
    user({"key", "End", "key", "--repeat", "30", "BackSpace"});
    user({"type", "--delay", "15", "Caf\xc3\xa9 \xe2\x82\xac\xd0\xba"});
    user({"key", "Return"});
    EXPECT_EQ(plugin->programName(), "Caf\xc3\xa9 \xe2\x82\xac\xd0\xba");
    expectShows(window, "Caf\xc3\xa9 \xe2\x82\xac\xd0\xba");

    // Too long for a program name: cut to 23 characters, and the field shows what remains.
    user({"mousemove", "100", "60", "click", "1"});
    user({"key", "End", "key", "--repeat", "30", "BackSpace"});
    user({"type", "--delay", "10", "A very long program name indeed"});
    user({"key", "Return"});
    EXPECT_EQ(plugin->programName(), "A very long program nam");
    expectShows(window, "A very long program nam");

    // Escape cancels, a click on the picture confirms.
    user({"mousemove", "100", "60", "click", "1", "type", "xyz"});
    user({"key", "Escape"});
    EXPECT_EQ(plugin->programName(), "A very long program nam");
    user({"mousemove", "100", "60", "click", "1", "key", "Home", "key", "Delete", "key", "Delete"});
    user({"mousemove", "300", "150", "click", "1"});
    EXPECT_EQ(plugin->programName(), "very long program nam");

    // Closing removes our window; reopening shows the current name again.
    plugin->dispatch(effEditClose);
    EXPECT_EQ(window.children(), 0);
    plugin->setProgram(2);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window.handle()), 1);
    idle();
    expectShows(window, "User 2");
    plugin->dispatch(effEditClose);
}

TEST_F(EditorWindowTest, OpeningAndClosingManyTimesLeavesNothingBehind) {
    makeCalibrationsDirectory();
    load();
    HostWindow window(server->display(), width, height);
    ASSERT_TRUE(window.ok());
    // Warm up once: the libraries set up their caches at first use.
    plugin->dispatch(effEditOpen, 0, 0, window.handle());
    idle(2);
    plugin->dispatch(effEditClose);
    const int descriptors = xtest::openDescriptors();
    for (int round = 0; round < 40; ++round) {
        ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window.handle()), 1);
        idle(1);
        if (round % 3 == 0) {
            // Close in the middle of an edit.
            const int status =
                xtest::runWhile({"xdotool", "mousemove", "150", "60", "click", "1", "type", "ab"},
                                [&] { plugin->dispatch(effEditIdle); });
            ASSERT_EQ(status, 0);
            idle(1);
        }
        plugin->dispatch(effEditClose);
        ASSERT_EQ(window.children(), 0);
    }
    EXPECT_EQ(xtest::openDescriptors(), descriptors);
    // Edits cut short by closing are dropped.
    EXPECT_EQ(plugin->programName(), "Ambrel - uncalibrated");

    // A window id that names no window: under the default X error handler the failed window
    // creation would end the process.
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0,
                               reinterpret_cast<void*>(static_cast<uintptr_t>(0x3fffff0))),
              1);
    idle(2);
    plugin->dispatch(effEditClose);
    EXPECT_EQ(xtest::openDescriptors(), descriptors);

    // A host that destroys its window before closing the editor: under the default X error
    // handler, drawing into the vanished window would end the process.
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window.handle()), 1);
    idle(2);
    window.destroy();
    plugin->setProgram(1);
    idle(4);
    plugin->dispatch(effEditClose);
    EXPECT_EQ(xtest::openDescriptors(), descriptors - 1); // the host window's connection went
}

TEST_F(EditorWindowTest, MissingCalibrationsNeitherBlockNorOpenWindowsAndShowInTheEditor) {
    // HOME is an empty directory: no calibrations anywhere.
    HostWindow observer(server->display(), 10, 10);
    ASSERT_TRUE(observer.ok());
    const int topLevel = observer.topLevelWindows();
    const int sockets = xtest::openSockets();

    // Standard error goes to a file while the plug-in is constructed.
    const std::string errors = home.file("stderr.txt");
    fflush(stderr);
    const int savedStderr = dup(STDERR_FILENO);
    const int file = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(file, 0);
    dup2(file, STDERR_FILENO);
    const auto start = std::chrono::steady_clock::now();
    load();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    close(savedStderr);
    close(file);
    std::ifstream in(errors);
    std::stringstream written;
    written << in.rdbuf();

    EXPECT_LT(seconds, 1.0);
    EXPECT_NE(written.str().find(std::string("XeTetraVST: ") + kMissingDirectory + "\n"),
              std::string::npos)
        << written.str();
    // What a scanning host asks, and some audio: still no window and no display connection.
    char text[256];
    plugin->dispatch(effGetEffectName, 0, 0, text);
    plugin->dispatch(effGetVendorString, 0, 0, text);
    plugin->start();
    vsthost::Channels in4 = vsthost::makeChannels(2048, 0.25f);
    plugin->process(in4);
    EXPECT_EQ(observer.topLevelWindows(), topLevel);
    EXPECT_EQ(xtest::openSockets(), sockets);

    // The editor shows the notice over the picture.
    ERect* rect = nullptr;
    plugin->dispatch(effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    HostWindow window(server->display(), rect->right, rect->bottom);
    const int socketsWithWindow = xtest::openSockets();
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window.handle()), 1);
    EXPECT_EQ(xtest::openSockets(), socketsWithWindow + 1); // the frame's own connection
    idle();
    const std::vector<CColor> shown = window.screenshot(width, height);
    const std::vector<CColor> bare = expected("Ambrel - uncalibrated");
    const Difference covered = compare(shown, bare);
    EXPECT_GT(covered.outside, width * height / 2) << "no notice over the picture";
    // Its OK button, where the notice view puts it.
    const CNoticeView layout(CRect(0, 0, width, height), nullptr, 0);
    const CRect ok = layout.getOkButtonRect();
    const CColor button = shown[static_cast<size_t>((ok.top + 4) * width + ok.left + 12)];
    EXPECT_GT(button.blue, button.red + 60) << "no OK button";

    // A click beside the button changes nothing; on it, the notice goes.
    user({"mousemove", std::to_string(ok.left - 40), std::to_string(ok.top + 5), "click", "1"});
    EXPECT_GT(compare(window.screenshot(width, height), bare).outside, width * height / 2);
    user({"mousemove", std::to_string((ok.left + ok.right) / 2),
          std::to_string((ok.top + ok.bottom) / 2), "click", "1"});
    expectShows(window, "Ambrel - uncalibrated");

    plugin->dispatch(effEditClose);
    EXPECT_EQ(xtest::openSockets(), socketsWithWindow);
}

TEST_F(EditorWindowTest, ArdourScannerWithADisplayAcceptsThePluginWithinASecond) {
    const std::string scanner = "/usr/lib/ardour7/ardour-vst-scanner";
    ASSERT_EQ(access(scanner.c_str(), X_OK), 0)
        << scanner << " is missing: install Ardour 7 (Debian package ardour)";
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find("libasan.so") != std::string::npos)
            GTEST_SKIP() << "Ardour's scanner is run on the plain build only: with the sanitizer "
                            "runtime preloaded it deadlocks in a library finaliser at exit";
    }

    HostWindow observer(server->display(), 10, 10);
    ASSERT_TRUE(observer.ok());
    const int topLevel = observer.topLevelWindows();
    int mostTopLevel = topLevel;
    const auto start = std::chrono::steady_clock::now();
    const int status =
        xtest::runWhile({"env", "HOME=" + home.path(), "DISPLAY=" + server->display(),
                         "LD_LIBRARY_PATH=/usr/lib/ardour7",
                         "XDG_CACHE_HOME=" + home.path() + "/.cache", scanner, "-f", kPluginPath},
                        [&] { mostTopLevel = std::max(mostTopLevel, observer.topLevelWindows()); });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(status, 0);
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(mostTopLevel, topLevel) << "a window appeared during the scan";

    // The scanner's verdict, in its cache.
    std::string found;
    const std::string cache = home.path() + "/.cache/ardour7/vst";
    if (DIR* directory = opendir(cache.c_str())) {
        while (dirent* entry = readdir(directory)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.substr(name.size() - 4) == ".v2i") {
                std::ifstream in(cache + "/" + name);
                std::stringstream content;
                content << in.rdbuf();
                found += content.str();
            }
        }
        closedir(directory);
    }
    EXPECT_NE(found.find("name=\"Xerio Kalen Ambrel\""), std::string::npos) << found;
    EXPECT_NE(found.find("creator=\"XeAudio\""), std::string::npos) << found;
}
