#pragma once

#include "VstHost.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace vsthost {

constexpr const char* kPluginPath = XETETRA_PLUGIN_PATH;

// Each test runs with HOME pointing at its own empty directory, so the calibration search finds
// nothing unless the test puts something there.
class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* oldHome = std::getenv("HOME");
        hadHome = oldHome != nullptr;
        if (hadHome) savedHome = oldHome;
        ASSERT_FALSE(home.path().empty());
        setenv("HOME", home.path().c_str(), 1);
        library = std::make_unique<Library>(kPluginPath);
        ASSERT_TRUE(library->loaded()) << library->loadError();
    }
    void TearDown() override {
        library.reset();
        if (hadHome)
            setenv("HOME", savedHome.c_str(), 1);
        else
            unsetenv("HOME");
    }
    std::unique_ptr<Plugin> load() {
        auto plugin = std::make_unique<Plugin>(*library, &host);
        EXPECT_TRUE(plugin->ok());
        return plugin;
    }

    TempDirectory home;
    HostState host;
    std::unique_ptr<Library> library;

private:
    bool hadHome = false;
    std::string savedHome;
};

} // namespace vsthost
