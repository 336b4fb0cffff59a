#pragma once

// What the toolkit and editor tests share: the libraries' caches released at exit, a view that
// counts its draws, and keys typed into a view or frame.

#include "gui/CView.h"

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
inline const ::testing::Environment* const kReleaseLibraryCaches =
    ::testing::AddGlobalTestEnvironment(new ReleaseLibraryCaches);

// Counts its draws, to see what the frame redraws.
struct CountingView : CView {
    explicit CountingView(const CRect& size) : CView(size) {}
    void draw(CDrawContext* context) override {
        ++draws;
        CView::draw(context);
    }
    int draws = 0;
};

template <typename Target> void type(Target& target, const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        const char key[2] = {*p, '\0'};
        target.onKeyDown(key, kVKeyNone);
    }
}
template <typename Target> void press(Target& target, int key, int times = 1) {
    for (int i = 0; i < times; ++i)
        target.onKeyDown("", key);
}
