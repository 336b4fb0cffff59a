// Draws the editor's background picture, bmp00128.png. Run once when the design changes and
// commit the picture: cmake --build <dir> --target xetetra_background
// (or: draw_background <output.png>).

#include <cairo.h>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 200;
// The program-name field of the editor: left 72, top 53, right 215, bottom 68.
constexpr double kFieldLeft = 72, kFieldTop = 53, kFieldRight = 215, kFieldBottom = 68;

void rgb(cairo_t* cr, int r, int g, int b, double a = 1.0) {
    cairo_set_source_rgba(cr, r / 255.0, g / 255.0, b / 255.0, a);
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
    cairo_rectangle(cr, 0, 172, kWidth, 28);
    cairo_fill(cr);

    // Gold rules under the header and over the footer.
    rgb(cr, 0xc9, 0xa2, 0x4a);
    cairo_rectangle(cr, 16, 40, kWidth - 32, 1.5);
    cairo_fill(cr);
    rgb(cr, 0xc9, 0xa2, 0x4a, 0.5);
    cairo_rectangle(cr, 16, 171, kWidth - 32, 1);
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
    text(cr, "XeAudio", 20, 190, 12, true);
    rgb(cr, 0x8a, 0x8c, 0x93);
    text(cr, "tetrahedral microphone processor", kWidth - 20, 189, 9, false, 1.0);
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

void signalFlow(cairo_t* cr) {
    // Four capsule inputs, the matrix, four B-format outputs.
    const double top = 114, step = 13;
    cairo_set_line_width(cr, 1);
    const char* in[4] = {"1", "2", "3", "4"};
    const char* out[4] = {"W", "X", "Y", "Z"};
    for (int i = 0; i < 4; ++i) {
        const double y = top + i * step;
        rgb(cr, 0x9a, 0x9c, 0xa3);
        text(cr, in[i], 24, y + 3.5, 9, true, 0.5);
        rgb(cr, 0xc9, 0xa2, 0x4a, 0.8);
        cairo_move_to(cr, 32, y + 0.5);
        cairo_line_to(cr, 92, y + 0.5);
        cairo_stroke(cr);
        cairo_move_to(cr, 148, y + 0.5);
        cairo_line_to(cr, 200, y + 0.5);
        cairo_stroke(cr);
        rgb(cr, 0xee, 0xea, 0xe0);
        text(cr, out[i], 208, y + 3.5, 9, true, 0.5);
    }
    rgb(cr, 0x2a, 0x2b, 0x30);
    cairo_rectangle(cr, 92.5, top - 8.5, 55, 3 * step + 17);
    cairo_fill_preserve(cr);
    rgb(cr, 0xc9, 0xa2, 0x4a);
    cairo_stroke(cr);
    rgb(cr, 0xee, 0xea, 0xe0);
    text(cr, "A  \xe2\x86\x92  B", 120, top + 1.5 * step + 4, 10, true, 0.5);
    rgb(cr, 0x8a, 0x8c, 0x93);
    text(cr, "CAPSULES", 24, top - 12, 7, true, 0.0);
    text(cr, "B-FORMAT", 212, top - 12, 7, true, 1.0);
}

void tetrahedron(cairo_t* cr) {
    // A tetrahedral capsule array, seen from slightly above.
    const double cx = 310, cy = 108;
    const double v[4][2] = {
        {cx, cy - 50}, {cx - 50, cy + 34}, {cx + 50, cy + 34}, {cx + 6, cy + 6}};
    const int edges[6][2] = {{0, 1}, {0, 2}, {1, 2}, {0, 3}, {1, 3}, {2, 3}};
    cairo_set_line_width(cr, 1.5);
    for (int i = 0; i < 6; ++i) {
        const bool hidden = edges[i][0] == 3 || edges[i][1] == 3;
        rgb(cr, 0xc9, 0xa2, 0x4a, hidden ? 0.45 : 0.9);
        cairo_move_to(cr, v[edges[i][0]][0], v[edges[i][0]][1]);
        cairo_line_to(cr, v[edges[i][1]][0], v[edges[i][1]][1]);
        cairo_stroke(cr);
    }
    for (int i = 0; i < 4; ++i) {
        cairo_pattern_t* g =
            cairo_pattern_create_radial(v[i][0] - 2, v[i][1] - 2, 1, v[i][0], v[i][1], 7);
        cairo_pattern_add_color_stop_rgb(g, 0, 0.93, 0.92, 0.88);
        cairo_pattern_add_color_stop_rgb(g, 1, 0.35, 0.36, 0.40);
        cairo_set_source(cr, g);
        cairo_arc(cr, v[i][0], v[i][1], 6.5, 0, 2 * M_PI);
        cairo_fill(cr);
        cairo_pattern_destroy(g);
        rgb(cr, 0x1d, 0x1e, 0x22);
        char label[2] = {static_cast<char>('1' + i), 0};
        text(cr, label, v[i][0], v[i][1] + 3, 8, true, 0.5);
    }
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
    signalFlow(cr);
    tetrahedron(cr);

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
