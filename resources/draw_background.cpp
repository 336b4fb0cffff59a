// Draws the editor's background picture, bmp00128.png: the product panel and the panels and
// headings the editor's views sit on, to the plan of editor/EditorLayout.h. Run once when the
// design changes and commit the picture: cmake --build <dir> --target xetetra_background
// (or: draw_background <output.png>).

#include "editor/EditorLayout.h"
#include "gui/Palette.h"

#include <cairo.h>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kWidth = layout::kWidth;
constexpr int kHeight = layout::kHeight;
constexpr int kFooterTop = kHeight - 30;
constexpr double kFieldLeft = layout::kNameField.left, kFieldTop = layout::kNameField.top,
                 kFieldRight = layout::kNameField.right, kFieldBottom = layout::kNameField.bottom;

void rgb(cairo_t* cr, int r, int g, int b, double a = 1.0) {
    cairo_set_source_rgba(cr, r / 255.0, g / 255.0, b / 255.0, a);
}

void rgb(cairo_t* cr, const CColor& color, double a = 1.0) {
    rgb(cr, color.red, color.green, color.blue, a);
}

void text(cairo_t* cr, const char* s, double x, double y, double size, bool bold,
          double align = 0.0) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s, &e);
    cairo_move_to(cr, std::round(x - align * e.x_advance), y);
    cairo_show_text(cr, s);
}

void panel(cairo_t* cr) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, kHeight);
    cairo_pattern_add_color_stop_rgb(p, 0.0, 0x34 / 255.0, 0x36 / 255.0, 0x3b / 255.0);
    cairo_pattern_add_color_stop_rgb(p, 1.0, 0x1d / 255.0, 0x1e / 255.0, 0x22 / 255.0);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);

    // Faint brushed-metal strokes from a fixed generator, so the picture never changes.
    unsigned state = 20240611u;
    cairo_set_line_width(cr, 1.0);
    for (int y = 0; y < kHeight; ++y) {
        state = state * 1664525u + 1013904223u;
        const double shade = ((state >> 24) & 0xff) / 255.0;
        cairo_set_source_rgba(cr, 1, 1, 1, 0.012 + 0.02 * shade);
        cairo_move_to(cr, 0, y + 0.5);
        cairo_line_to(cr, kWidth, y + 0.5);
        cairo_stroke(cr);
    }

    // Header and footer bands.
    rgb(cr, 0, 0, 0, 0.25);
    cairo_rectangle(cr, 0, 0, kWidth, 40);
    cairo_fill(cr);
    rgb(cr, 0, 0, 0, 0.35);
    cairo_rectangle(cr, 0, kFooterTop, kWidth, kHeight - kFooterTop);
    cairo_fill(cr);

    // Gold rules under the header and over the footer.
    rgb(cr, 0xc9, 0xa2, 0x4a);
    cairo_rectangle(cr, 16, 40, kWidth - 32, 1.5);
    cairo_fill(cr);
    rgb(cr, 0xc9, 0xa2, 0x4a, 0.5);
    cairo_rectangle(cr, 16, kFooterTop - 1, kWidth - 32, 1);
    cairo_fill(cr);

    // Bevelled outer edge.
    rgb(cr, 255, 255, 255, 0.18);
    cairo_rectangle(cr, 0, 0, kWidth, 1);
    cairo_rectangle(cr, 0, 0, 1, kHeight);
    cairo_fill(cr);
    rgb(cr, 0, 0, 0, 0.6);
    cairo_rectangle(cr, 0, kHeight - 1, kWidth, 1);
    cairo_rectangle(cr, kWidth - 1, 0, 1, kHeight);
    cairo_fill(cr);

    // Corner screws.
    const double screws[4][2] = {
        {8, 8}, {kWidth - 8, 8}, {8, kHeight - 8}, {kWidth - 8, kHeight - 8}};
    for (const auto& s : screws) {
        cairo_pattern_t* g = cairo_pattern_create_radial(s[0] - 1, s[1] - 1, 0.5, s[0], s[1], 3.5);
        cairo_pattern_add_color_stop_rgb(g, 0, 0.75, 0.75, 0.76);
        cairo_pattern_add_color_stop_rgb(g, 1, 0.30, 0.30, 0.32);
        cairo_set_source(cr, g);
        cairo_arc(cr, s[0], s[1], 3.5, 0, 2 * M_PI);
        cairo_fill(cr);
        cairo_pattern_destroy(g);
        rgb(cr, 0x20, 0x20, 0x22);
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, s[0] - 2.2, s[1] + 0.5);
        cairo_line_to(cr, s[0] + 2.2, s[1] + 0.5);
        cairo_stroke(cr);
    }
}

void titles(cairo_t* cr) {
    rgb(cr, 0xee, 0xea, 0xe0);
    text(cr, "Xerio Kalen Ambrel", 20, 27, 18, true);
    rgb(cr, 0x9a, 0x9c, 0xa3);
    text(cr, "A-format to B-format", kWidth - 20, 26, 10, false, 1.0);

    rgb(cr, 0xc9, 0xa2, 0x4a);
    text(cr, "XeAudio", 20, kHeight - 10, 12, true);
    rgb(cr, 0x8a, 0x8c, 0x93);
    text(cr, "tetrahedral microphone processor", kWidth - 20, kHeight - 11, 9, false, 1.0);
}

void nameField(cairo_t* cr) {
    rgb(cr, 0xb0, 0xb2, 0xb8);
    text(cr, "PROGRAM", kFieldLeft - 6, 64, 8, true, 1.0);

    // A recessed display window, one pixel of bevel around the field itself.
    rgb(cr, 0, 0, 0, 0.7);
    cairo_rectangle(cr, kFieldLeft - 2, kFieldTop - 2, kFieldRight - kFieldLeft + 4, 1);
    cairo_rectangle(cr, kFieldLeft - 2, kFieldTop - 2, 1, kFieldBottom - kFieldTop + 4);
    cairo_fill(cr);
    rgb(cr, 255, 255, 255, 0.25);
    cairo_rectangle(cr, kFieldLeft - 2, kFieldBottom + 1, kFieldRight - kFieldLeft + 4, 1);
    cairo_rectangle(cr, kFieldRight + 1, kFieldTop - 2, 1, kFieldBottom - kFieldTop + 4);
    cairo_fill(cr);
    rgb(cr, 0x4a, 0x3c, 0x1e);
    cairo_rectangle(cr, kFieldLeft - 1, kFieldTop - 1, kFieldRight - kFieldLeft + 2,
                    kFieldBottom - kFieldTop + 2);
    cairo_fill(cr);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, kFieldTop, 0, kFieldBottom);
    cairo_pattern_add_color_stop_rgb(p, 0, 0xdd / 255.0, 0xd3 / 255.0, 0xb8 / 255.0);
    cairo_pattern_add_color_stop_rgb(p, 1, 0xee / 255.0, 0xe7 / 255.0, 0xd3 / 255.0);
    cairo_set_source(cr, p);
    cairo_rectangle(cr, kFieldLeft, kFieldTop, kFieldRight - kFieldLeft, kFieldBottom - kFieldTop);
    cairo_fill(cr);
    cairo_pattern_destroy(p);

    rgb(cr, 0x8a, 0x8c, 0x93);
    text(cr, "click to rename the current program", kFieldLeft, 82, 8, false);
}

// A recessed panel for views to sit on, with an optional heading at its top left.
void viewPanel(cairo_t* cr, const CRect& r, const char* heading) {
    rgb(cr, 0, 0, 0, 0.55);
    cairo_rectangle(cr, r.left - 1, r.top - 1, r.width() + 2, r.height() + 2);
    cairo_fill(cr);
    rgb(cr, palette::kPanel);
    cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
    cairo_fill(cr);
    rgb(cr, palette::kPanelEdge);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, r.left + 0.5, r.top + 0.5, r.width() - 1, r.height() - 1);
    cairo_stroke(cr);
    rgb(cr, 255, 255, 255, 0.05);
    cairo_rectangle(cr, r.left + 1, r.top + 1, r.width() - 2, 1);
    cairo_fill(cr);
    if (heading == nullptr) return;
    rgb(cr, palette::kTextDim);
    text(cr, heading, r.left + 10, r.top + 15, 8, true);
}

// dB marks beside the first meter, where CVuMeter puts those levels.
void meterScale(cairo_t* cr) {
    const CRect first = layout::meter(0);
    const int barTop = first.top + 16, barBottom = first.bottom - 16;
    const double range = layout::kMeterMaxDb - layout::kMeterMinDb;
    const int marks[] = {6, 0, -6, -12, -18, -24, -36, -48, -60};
    for (int db : marks) {
        const int y = barBottom - static_cast<int>(std::lround((db - layout::kMeterMinDb) / range *
                                                               (barBottom - barTop)));
        char label[16];
        std::snprintf(label, sizeof(label), db > 0 ? "+%d" : "%d", db);
        rgb(cr, db == 0 ? palette::kText : palette::kTextDim);
        text(cr, label, first.left - 8, y + 3, 8, db == 0, 1.0);
        rgb(cr, 255, 255, 255, db == 0 ? 0.35 : 0.15);
        cairo_rectangle(cr, first.left - 6, y, 4, 1);
        cairo_fill(cr);
    }
    rgb(cr, palette::kTextFaint);
    text(cr, "dBFS", first.left - 8, barBottom + 13, 7, false, 1.0);
}

void panels(cairo_t* cr) {
    viewPanel(cr, layout::kViewPanel, nullptr);
    viewPanel(cr, layout::kMeterPanel, "OUTPUT LEVEL");
    meterScale(cr);
    viewPanel(cr, layout::kDirectionPanel, "DIRECTION");
}

} // namespace

int main(int argc, char** argv) {
    const char* output = argc > 1 ? argv[1] : "bmp00128.png";
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);

    panel(cr);
    titles(cr);
    nameField(cr);
    panels(cr);

    cairo_destroy(cr);
    const cairo_status_t status = cairo_surface_write_to_png(surface, output);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "draw_background: cannot write %s: %s\n", output,
                     cairo_status_to_string(status));
        return 1;
    }
    return 0;
}
