#include "tools/ResponsePlot.h"

#include "tools/CommandLine.h"
#include "tools/OutputFile.h"

#include <cairo.h>
#include <cmath>
#include <cstdio>
#include <fontconfig/fontconfig.h>

namespace {

constexpr double kLeft = 90.0, kRight = 170.0, kTop = 70.0, kBottom = 70.0, kGap = 70.0;
const double kColours[4][3] = {
    {0.1, 0.1, 0.1}, {0.85, 0.15, 0.1}, {0.1, 0.6, 0.2}, {0.15, 0.3, 0.9}};

// A step of 1, 2 or 5 times a power of ten giving about `ticks` divisions of the range.
double niceStep(double range, int ticks) {
    const double raw = range / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw) return m * power;
    return 10.0 * power;
}

struct CPanel {
    double x, y, width, height; // device pixels
    double low, high;           // value range, bottom to top
    double fmin, fmax;

    double px(double f) const { return x + width * std::log(f / fmin) / std::log(fmax / fmin); }
    double py(double v) const { return y + height * (high - v) / (high - low); }
};

// X, Y and Z coincide for a symmetrical program: dashes keep each curve visible on the others.
void setDashes(cairo_t* cr, int output) {
    static const double pattern[4][2] = {{1.0, 0.0}, {14.0, 0.0}, {9.0, 5.0}, {3.0, 4.0}};
    if (output < 2)
        cairo_set_dash(cr, nullptr, 0, 0.0);
    else
        cairo_set_dash(cr, pattern[output], 2, 0.0);
}

void text(cairo_t* cr, double x, double y, const std::string& s, double alignX, double alignY) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_move_to(cr, x - e.width * alignX - e.x_bearing, y - e.height * alignY - e.y_bearing);
    cairo_show_text(cr, s.c_str());
}

std::string frequencyLabel(double f) {
    char label[32];
    if (f >= 1000.0)
        std::snprintf(label, sizeof(label), "%gk", f / 1000.0);
    else
        std::snprintf(label, sizeof(label), "%g", f);
    return label;
}

void drawPanel(cairo_t* cr, const CPanel& panel, const std::vector<double> (&values)[4],
               const std::vector<double>& frequencies, const std::string& axisTitle,
               bool frequencyLabels) {
    // Frame and grid.
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
    for (double decade = std::pow(10.0, std::floor(std::log10(panel.fmin))); decade <= panel.fmax;
         decade *= 10.0) {
        for (double m : {1.0, 2.0, 5.0}) {
            const double f = decade * m;
            if (f < panel.fmin || f > panel.fmax) continue;
            cairo_move_to(cr, std::round(panel.px(f)) + 0.5, panel.y);
            cairo_line_to(cr, std::round(panel.px(f)) + 0.5, panel.y + panel.height);
        }
    }
    const double step = niceStep(panel.high - panel.low, 8);
    for (double v = std::ceil(panel.low / step) * step; v <= panel.high + step * 1e-9; v += step) {
        cairo_move_to(cr, panel.x, std::round(panel.py(v)) + 0.5);
        cairo_line_to(cr, panel.x + panel.width, std::round(panel.py(v)) + 0.5);
    }
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_rectangle(cr, panel.x + 0.5, panel.y + 0.5, panel.width, panel.height);
    cairo_stroke(cr);

    // Tick labels.
    cairo_set_font_size(cr, 13.0);
    for (double v = std::ceil(panel.low / step) * step; v <= panel.high + step * 1e-9; v += step) {
        char label[32];
        std::snprintf(label, sizeof(label), "%g", std::fabs(v) < step * 1e-6 ? 0.0 : v);
        text(cr, panel.x - 8.0, panel.py(v), label, 1.0, 0.5);
    }
    for (double decade = std::pow(10.0, std::floor(std::log10(panel.fmin))); decade <= panel.fmax;
         decade *= 10.0)
        for (double m : {1.0, 2.0, 5.0}) {
            const double f = decade * m;
            if (f < panel.fmin || f > panel.fmax) continue;
            if (frequencyLabels || m == 1.0)
                text(cr, panel.px(f), panel.y + panel.height + 8.0, frequencyLabel(f), 0.5, 0.0);
        }

    // Axis title, turned to run up the left side.
    cairo_save(cr);
    cairo_set_font_size(cr, 15.0);
    cairo_translate(cr, panel.x - 62.0, panel.y + panel.height / 2.0);
    cairo_rotate(cr, -M_PI / 2.0);
    text(cr, 0.0, 0.0, axisTitle, 0.5, 0.5);
    cairo_restore(cr);

    // Curves, clipped to the panel; a missing value breaks the line.
    cairo_save(cr);
    cairo_rectangle(cr, panel.x, panel.y, panel.width, panel.height);
    cairo_clip(cr);
    cairo_set_line_width(cr, 2.0);
    for (int o = 0; o < 4; ++o) {
        cairo_set_source_rgb(cr, kColours[o][0], kColours[o][1], kColours[o][2]);
        setDashes(cr, o);
        bool drawing = false;
        for (size_t p = 0; p < frequencies.size(); ++p) {
            const double v = values[o][p];
            if (!std::isfinite(v)) {
                drawing = false;
                continue;
            }
            // Far outside the panel stays just outside, so the clip does the cutting.
            const double limited = std::fmax(panel.low - (panel.high - panel.low),
                                             std::fmin(panel.high + (panel.high - panel.low), v));
            if (drawing)
                cairo_line_to(cr, panel.px(frequencies[p]), panel.py(limited));
            else
                cairo_move_to(cr, panel.px(frequencies[p]), panel.py(limited));
            drawing = true;
        }
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

// The value range of a set of curves, widened to whole steps.
void range(const std::vector<double> (&values)[4], double minimumSpan, double maximumSpan,
           double& low, double& high) {
    low = INFINITY;
    high = -INFINITY;
    for (const auto& curve : values)
        for (double v : curve)
            if (std::isfinite(v)) {
                low = std::fmin(low, v);
                high = std::fmax(high, v);
            }
    if (!std::isfinite(low)) {
        low = 0.0;
        high = 1.0;
    }
    if (high - low > maximumSpan) low = high - maximumSpan;
    if (high - low < minimumSpan) {
        const double middle = (high + low) / 2.0;
        low = middle - minimumSpan / 2.0;
        high = middle + minimumSpan / 2.0;
    }
    const double step = niceStep(high - low, 8);
    low = std::floor(low / step) * step;
    high = std::ceil(high / step) * step;
    if (high <= low) high = low + step;
}

cairo_status_t writeChunk(void* closure, const unsigned char* data, unsigned int length) {
    return static_cast<COutputFile*>(closure)->writeAll(data, length) ? CAIRO_STATUS_SUCCESS
                                                                      : CAIRO_STATUS_WRITE_ERROR;
}

} // namespace

CResponsePlot::CResponsePlot(const CResponseCurves& measured, const std::string& plotTitle)
    : curves(measured), title(plotTitle) {}

bool CResponsePlot::write(COutputFile& output) const {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

    const double width = kWidth - kLeft - kRight;
    const double height = (kHeight - kTop - kBottom - kGap) / 2.0;
    const double fmin = curves.frequencies.front(), fmax = curves.frequencies.back();
    CPanel magnitude{kLeft, kTop, width, height, 0.0, 0.0, fmin, fmax};
    range(curves.magnitudeDb, 12.0, 80.0, magnitude.low, magnitude.high);
    CPanel delay{kLeft, kTop + height + kGap, width, height, 0.0, 0.0, fmin, fmax};
    range(curves.groupDelayMs, 1.0, 1e9, delay.low, delay.high);

    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_font_size(cr, 17.0);
    text(cr, kWidth / 2.0, 30.0, title, 0.5, 0.5);
    drawPanel(cr, magnitude, curves.magnitudeDb, curves.frequencies, "Magnitude (dB)", false);
    drawPanel(cr, delay, curves.groupDelayMs, curves.frequencies, "Group delay (ms)", false);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_font_size(cr, 15.0);
    text(cr, kLeft + width / 2.0, kHeight - 22.0, "Frequency (Hz, logarithmic)", 0.5, 0.5);

    // Legend to the right of the magnitude panel.
    cairo_set_font_size(cr, 15.0);
    for (int o = 0; o < 4; ++o) {
        const double y = kTop + 20.0 + 26.0 * o;
        cairo_set_source_rgb(cr, kColours[o][0], kColours[o][1], kColours[o][2]);
        cairo_set_line_width(cr, 3.0);
        setDashes(cr, o);
        cairo_move_to(cr, kLeft + width + 16.0, y);
        cairo_line_to(cr, kLeft + width + 46.0, y);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0.0);
        cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        text(cr, kLeft + width + 54.0, y, curves.outputLabel(o), 0.0, 0.5);
    }

    cairo_surface_flush(surface);
    const cairo_status_t drawn = cairo_status(cr);
    cairo_destroy(cr);
    cairo_status_t status = drawn;
    if (status == CAIRO_STATUS_SUCCESS)
        status = cairo_surface_write_to_png_stream(surface, writeChunk, &output);
    cairo_surface_destroy(surface);
    // Drop cairo's and fontconfig's caches: the process is done with them, and a leak checker
    // then sees only what is ours.
    cairo_debug_reset_static_data();
    FcFini();
    if (status == CAIRO_STATUS_WRITE_ERROR) return false; // reported by the writer
    if (status != CAIRO_STATUS_SUCCESS) {
        fileError(output.destination(),
                  std::string("cannot draw: ") + cairo_status_to_string(status));
        return false;
    }
    return true;
}
