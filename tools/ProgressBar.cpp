#include "tools/ProgressBar.h"

#include <cstdio>
#include <unistd.h>

CProgressBar::CProgressBar(bool wanted)
    : enabled(wanted && isatty(STDERR_FILENO) == 1), lastDraw(std::chrono::steady_clock::now()) {}

void CProgressBar::update(long long done, long long total, double rate) {
    if (!enabled || total <= 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn && done < total && now - lastDraw < std::chrono::milliseconds(100)) return;
    lastDraw = now;
    constexpr int kWidth = 40;
    const double fraction = static_cast<double>(done) / static_cast<double>(total);
    const int filled = static_cast<int>(fraction * kWidth);
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%  %.1f s of %.1f s", bar, static_cast<int>(fraction * 100.0),
                 static_cast<double>(done) / rate, static_cast<double>(total) / rate);
    std::fflush(stderr);
    drawn = true;
}

void CProgressBar::finish() {
    if (!drawn) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn = false;
}
