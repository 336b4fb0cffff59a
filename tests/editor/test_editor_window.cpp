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

#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::string kPluginPath = std::string(XETETRA_BINARY_DIR) + "/XeTetraVST.so";
const CRect kField(72, 53, 215, 68);

using xtest::HostWindow;
using Clock = std::chrono::steady_clock;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

class EditorWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.ok())
            GTEST_SKIP() << "No X server could be started, so the window tests do not run: "
                         << server.error();
        setenv("DISPLAY", server.display().c_str(), 1);
        setenv("HOME", home.path().c_str(), 1);
        library = std::make_unique<vsthost::Library>(kPluginPath);
        ASSERT_TRUE(library->loaded()) << library->loadError();
        ASSERT_TRUE(picture.isLoaded());
        width = picture.getWidth();
        height = picture.getHeight();
    }
    // The per-user calibrations directory, empty: the plug-in then has nothing to report.
    void makeCalibrationsDirectory() {
        std::string path = home.path();
        for (const char* part : {"Library", "Audio", "Plug-Ins", "VST", "calibrations"})
            mkdir((path += std::string("/") + part).c_str(), 0755);
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
    void user(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "xdotool");
        ASSERT_EQ(xtest::runWhile(arguments, [&] { plugin->dispatch(effEditIdle); }), 0)
            << "xdotool failed (is the Debian package xdotool installed?)";
        idle(10);
    }
    void retype(const char* x, const std::string& text) {
        user({"mousemove", x, "60", "click", "1", "key", "End", "key", "--repeat", "30",
              "BackSpace", "type", "--delay", "15", text});
        user({"key", "Return"});
    }

    // Pixels that differ from the picture with the field drawn by the toolkit itself showing
    // `fieldText`, inside the field and outside it.
    std::pair<int, int> differences(const std::vector<CColor>& shown, const char* fieldText) {
        CDrawContext context(width, height);
        picture.draw(&context, CRect(0, 0, width, height));
        CTextEdit field(kField, nullptr, 1024, fieldText);
        field.setFrameColor(CColor(149, 111, 42, 0));
        field.setBackColor(CColor(149, 111, 42, 0));
        context.pushClip(kField);
        field.draw(&context);
        context.popClip();
        std::pair<int, int> counts{0, 0};
        if (shown.size() != static_cast<size_t>(width * height)) return {-1, -1};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (shown[static_cast<size_t>(y * width + x)] != context.getPixel(x, y))
                    ++(kField.pointInside(x, y) ? counts.first : counts.second);
        return counts;
    }
    void expectShows(const HostWindow& window, const char* name) {
        const std::pair<int, int> d = differences(window.screenshot(width, height), name);
        EXPECT_EQ(d.second, 0) << "the picture is not shown as drawn";
        EXPECT_EQ(d.first, 0) << "the field does not show \"" << name << "\"";
    }

    xtest::XServer server;
    TempDirectory home;
    std::unique_ptr<vsthost::Library> library;
    vsthost::HostState host;
    std::unique_ptr<vsthost::Plugin> plugin;
    CBitmap picture{128};
    int width = 0, height = 0;
};

} // namespace

TEST_F(EditorWindowTest, WindowShowsThePictureAndTheProgramNameAndRenamesIt) {
    makeCalibrationsDirectory();
    load();
    ERect* rect = nullptr;
    ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(std::vector<int>({rect->top, rect->left, rect->bottom, rect->right}),
              std::vector<int>({0, 0, height, width}));
    HostWindow window(server.display(), rect->right, rect->bottom);
    ASSERT_TRUE(window.ok());
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window.handle()), 1);
    EXPECT_EQ(window.children(), 1);
    idle();
    expectShows(window, "Ambrel - uncalibrated");
    plugin->setProgram(1);
    idle();
    expectShows(window, "1.47cm");

    // The user renames it: plain text; keys of other layouts (a Latin-1 letter, and the euro
    // sign and a Cyrillic letter whose key symbols predate Unicode ones); a name too long for a
    // program, cut to 23 characters.
    ASSERT_TRUE(window.addKeys({"eacute", "EuroSign", "Cyrillic_ka"}));
    const std::string cafe = "Caf\xc3\xa9 \xe2\x82\xac\xd0\xba";
    const std::pair<std::string, std::string> names[] = {
        {"Studio Hall 2", "Studio Hall 2"},
        {cafe, cafe},
        {"A very long program name indeed", "A very long program nam"}};
    for (const auto& name : names) {
        retype("200", name.first);
        EXPECT_EQ(plugin->programName(), name.second);
        expectShows(window, name.second.c_str());
    }

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
    HostWindow window(server.display(), width, height);
    ASSERT_TRUE(window.ok());
    // Warm up once: the libraries set up their caches at first use.
    plugin->dispatch(effEditOpen, 0, 0, window.handle());
    idle(2);
    plugin->dispatch(effEditClose);
    const int descriptors = xtest::openDescriptors();
    for (int round = 0; round < 40; ++round) {
        ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window.handle()), 1);
        idle(1);
        if (round % 3 == 0) user({"mousemove", "150", "60", "click", "1", "type", "ab"});
        plugin->dispatch(effEditClose); // in the middle of an edit, every third round
        ASSERT_EQ(window.children(), 0);
    }
    EXPECT_EQ(xtest::openDescriptors(), descriptors);
    EXPECT_EQ(plugin->programName(), "Ambrel - uncalibrated"); // the cut edits are dropped

    // A window id that names no window, and a host that destroys its window before closing the
    // editor: under the default X error handler either would end the process.
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{0x3fffff0})),
              1);
    idle(2);
    plugin->dispatch(effEditClose);
    EXPECT_EQ(xtest::openDescriptors(), descriptors);
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
    HostWindow observer(server.display(), 10, 10);
    ASSERT_TRUE(observer.ok());
    const int topLevel = observer.topLevelWindows();
    const int sockets = xtest::openDescriptors(true);

    // Standard error goes to a file while the plug-in is constructed.
    const std::string errors = home.file("stderr.txt");
    fflush(stderr);
    const int savedStderr = dup(STDERR_FILENO);
    const int file = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(file, STDERR_FILENO);
    const Clock::time_point start = Clock::now();
    load();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    close(savedStderr);
    close(file);
    EXPECT_LT(seconds, 1.0);
    EXPECT_NE(readFile(errors).find("XeTetraVST: Calibrations directory "
                                    "(/Library/Audio/Plug-Ins/VST/calibrations) not found\n"),
              std::string::npos)
        << readFile(errors);
    // What a scanning host asks, and some audio: still no window and no display connection.
    EXPECT_EQ(plugin->text(effGetEffectName), "Xerio Kalen Ambrel");
    plugin->start();
    vsthost::Channels in4 = vsthost::makeChannels(2048, 0.25f);
    plugin->process(in4);
    EXPECT_EQ(observer.topLevelWindows(), topLevel);
    EXPECT_EQ(xtest::openDescriptors(true), sockets);

    // The editor shows the notice over the picture, with its OK button where the view puts it.
    HostWindow window(server.display(), width, height);
    const int socketsWithWindow = xtest::openDescriptors(true);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, window.handle()), 1);
    EXPECT_EQ(xtest::openDescriptors(true), socketsWithWindow + 1); // the frame's own connection
    idle();
    const std::vector<CColor> shown = window.screenshot(width, height);
    EXPECT_GT(differences(shown, "Ambrel - uncalibrated").second, width * height / 2)
        << "no notice over the picture";
    const CRect ok = CNoticeView(CRect(0, 0, width, height), nullptr, 0).getOkButtonRect();
    const CColor button = shown[static_cast<size_t>((ok.top + 4) * width + ok.left + 12)];
    EXPECT_GT(button.blue, button.red + 60) << "no OK button";

    // A click beside the button changes nothing; on it, the notice goes.
    user({"mousemove", std::to_string(ok.left - 40), std::to_string(ok.top + 5), "click", "1"});
    EXPECT_GT(differences(window.screenshot(width, height), "Ambrel - uncalibrated").second,
              width * height / 2);
    user({"mousemove", std::to_string((ok.left + ok.right) / 2),
          std::to_string((ok.top + ok.bottom) / 2), "click", "1"});
    expectShows(window, "Ambrel - uncalibrated");
    plugin->dispatch(effEditClose);
    EXPECT_EQ(xtest::openDescriptors(true), socketsWithWindow);
}

TEST_F(EditorWindowTest, ArdourScannerWithADisplayAcceptsThePluginWithinASecond) {
    const std::string scanner = "/usr/lib/ardour7/ardour-vst-scanner";
    ASSERT_EQ(access(scanner.c_str(), X_OK), 0)
        << scanner << " is missing: install Ardour 7 (Debian package ardour)";
    if (readFile("/proc/self/maps").find("libasan.so") != std::string::npos)
        GTEST_SKIP() << "Ardour's scanner is run on the plain build only: with the sanitizer "
                        "runtime preloaded it deadlocks in a library finaliser at exit";

    HostWindow observer(server.display(), 10, 10);
    ASSERT_TRUE(observer.ok());
    const int topLevel = observer.topLevelWindows();
    int mostTopLevel = topLevel;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(
        xtest::runWhile({"env", "HOME=" + home.path(), "DISPLAY=" + server.display(),
                         "LD_LIBRARY_PATH=/usr/lib/ardour7",
                         "XDG_CACHE_HOME=" + home.path() + "/.cache", scanner, "-f", kPluginPath},
                        [&] { mostTopLevel = std::max(mostTopLevel, observer.topLevelWindows()); }),
        0);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.0);
    EXPECT_EQ(mostTopLevel, topLevel) << "a window appeared during the scan";

    // The scanner's verdict, in its cache.
    std::string found;
    const std::string cache = home.path() + "/.cache/ardour7/vst";
    if (DIR* directory = opendir(cache.c_str())) {
        while (dirent* entry = readdir(directory))
            if (std::string(entry->d_name).find(".v2i") != std::string::npos)
                found += readFile(cache + "/" + entry->d_name);
        closedir(directory);
    }
    EXPECT_NE(found.find("name=\"Xerio Kalen Ambrel\""), std::string::npos) << found;
    EXPECT_NE(found.find("creator=\"XeAudio\""), std::string::npos) << found;
}
