#pragma once

#include "VstHost.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace vsthost {

// Each test runs with HOME (and the XDG data directories) pointing at its own empty directory,
// so the calibration search finds nothing unless the test puts something there.
class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(home.path().empty());
        environment.isolateCalibrations(home.path());
        library = std::make_unique<Library>(XETETRA_PLUGIN_PATH);
        ASSERT_TRUE(library->loaded()) << library->loadError();
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
    ScopedEnvironment environment;
};

} // namespace vsthost
