#pragma once

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

// cairo and fontconfig keep process-wide caches (font faces, the parsed configuration) for the
// life of the process. Dropping them after the last test leaves the leak checker only our own
// allocations to report.
class ReleaseLibraryCaches : public ::testing::Environment {
public:
    void TearDown() override {
        cairo_debug_reset_static_data();
        FcFini();
    }
};
