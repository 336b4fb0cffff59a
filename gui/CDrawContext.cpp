#include "gui/CDrawContext.h"

#include "gui/private/DrawContextImpl.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr int kMaxDrawnBytes = 1024;

// Length of the valid UTF-8 sequence starting at text (at most available bytes), or 0.
int utf8SequenceLength(const unsigned char* text, int available) {
    const unsigned char lead = text[0];
    int length = 0;
    unsigned minimum = 0;
    unsigned codePoint = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        codePoint = lead & 0x1f;
        minimum = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        codePoint = lead & 0x0f;
        minimum = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (length > available) return 0;
    for (int i = 1; i < length; ++i) {
        if ((text[i] & 0xc0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (text[i] & 0x3f);
    }
    if (codePoint < minimum || codePoint > 0x10ffff) return 0;
    if (codePoint >= 0xd800 && codePoint <= 0xdfff) return 0;
    return length;
}

// cairo refuses text that is not UTF-8 and then stops drawing altogether, while hosts and
// calibration files hand us Latin-1 as often as UTF-8: take every stray byte as Latin-1.
// output holds at least 2 * kMaxDrawnBytes + 1 bytes.
void toUtf8(const char* text, int length, char* output) {
    if (length < 0) length = static_cast<int>(strnlen(text, kMaxDrawnBytes));
    if (length > kMaxDrawnBytes) length = kMaxDrawnBytes;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    int written = 0;
    for (int i = 0; i < length;) {
        if (in[i] == 0) break;
        const int sequence = utf8SequenceLength(in + i, length - i);
        if (sequence > 0) {
            std::memcpy(output + written, in + i, static_cast<size_t>(sequence));
            written += sequence;
            i += sequence;
        } else {
            output[written++] = static_cast<char>(0xc0 | (in[i] >> 6));
            output[written++] = static_cast<char>(0x80 | (in[i] & 0x3f));
            ++i;
        }
    }
    output[written] = '\0';
}

} // namespace

CDrawContext::CDrawContext(int width, int height)
    : impl(new Impl), width(width > 0 ? width : 0), height(height > 0 ? height : 0),
      fillColor(255, 255, 255), frameColor(0, 0, 0), fontColor(0, 0, 0), lineWidth(1), fontSize(12),
      fontBold(false), dashed(false) {
    impl->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, this->width, this->height);
    impl->cairo = cairo_create(impl->surface);
    cairo_font_options_t* options = cairo_font_options_create();
    // Fixed font options, so a picture drawn here looks the same on every display.
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(impl->cairo, options);
    cairo_font_options_destroy(options);
    selectFont();
}

CDrawContext::~CDrawContext() {
    cairo_destroy(impl->cairo);
    cairo_surface_destroy(impl->surface);
    delete impl;
}

bool CDrawContext::isValid() const {
    return width > 0 && height > 0 && cairo_status(impl->cairo) == CAIRO_STATUS_SUCCESS;
}

void CDrawContext::setFont(int pixelSize, bool bold) {
    fontSize = pixelSize > 0 ? pixelSize : 1;
    fontBold = bold;
    selectFont();
}

void CDrawContext::selectFont() {
    cairo_select_font_face(impl->cairo, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           fontBold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(impl->cairo, fontSize);
}

void CDrawContext::setSource(const CColor& color) {
    cairo_set_source_rgba(impl->cairo, color.red / 255.0, color.green / 255.0, color.blue / 255.0,
                          color.alpha / 255.0);
}

void CDrawContext::fillRect(const CRect& rect) {
    if (rect.isEmpty() || fillColor.isTransparent()) return;
    setSource(fillColor);
    cairo_rectangle(impl->cairo, rect.left, rect.top, rect.width(), rect.height());
    cairo_fill(impl->cairo);
}

void CDrawContext::frameRect(const CRect& rect) {
    if (rect.isEmpty() || frameColor.isTransparent()) return;
    const double half = lineWidth / 2.0;
    setSource(frameColor);
    cairo_set_line_width(impl->cairo, lineWidth);
    cairo_rectangle(impl->cairo, rect.left + half, rect.top + half, rect.width() - lineWidth,
                    rect.height() - lineWidth);
    cairo_stroke(impl->cairo);
}

namespace {
void roundRectPath(cairo_t* cairo, double left, double top, double right, double bottom,
                   double radius) {
    const double limit = std::fmin(right - left, bottom - top) / 2.0;
    if (radius > limit) radius = limit;
    if (radius < 0.0) radius = 0.0;
    cairo_new_sub_path(cairo);
    cairo_arc(cairo, right - radius, top + radius, radius, -M_PI / 2.0, 0.0);
    cairo_arc(cairo, right - radius, bottom - radius, radius, 0.0, M_PI / 2.0);
    cairo_arc(cairo, left + radius, bottom - radius, radius, M_PI / 2.0, M_PI);
    cairo_arc(cairo, left + radius, top + radius, radius, M_PI, 1.5 * M_PI);
    cairo_close_path(cairo);
}
} // namespace

void CDrawContext::fillRoundRect(const CRect& rect, int radius) {
    if (rect.isEmpty() || fillColor.isTransparent()) return;
    setSource(fillColor);
    roundRectPath(impl->cairo, rect.left, rect.top, rect.right, rect.bottom, radius);
    cairo_fill(impl->cairo);
}

void CDrawContext::frameRoundRect(const CRect& rect, int radius) {
    if (rect.isEmpty() || frameColor.isTransparent()) return;
    const double half = lineWidth / 2.0;
    setSource(frameColor);
    cairo_set_line_width(impl->cairo, lineWidth);
    roundRectPath(impl->cairo, rect.left + half, rect.top + half, rect.right - half,
                  rect.bottom - half, radius);
    cairo_stroke(impl->cairo);
}

void CDrawContext::fillEllipse(const CRect& rect) {
    if (rect.isEmpty() || fillColor.isTransparent()) return;
    setSource(fillColor);
    cairo_save(impl->cairo);
    cairo_translate(impl->cairo, (rect.left + rect.right) / 2.0, (rect.top + rect.bottom) / 2.0);
    cairo_scale(impl->cairo, rect.width() / 2.0, rect.height() / 2.0);
    cairo_arc(impl->cairo, 0.0, 0.0, 1.0, 0.0, 2.0 * M_PI);
    cairo_restore(impl->cairo);
    cairo_fill(impl->cairo);
}

void CDrawContext::drawLine(int x1, int y1, int x2, int y2) {
    if (frameColor.isTransparent()) return;
    // Centred on the pixel grid, so a one-pixel line is one pixel wide and crisp.
    const double shift = (lineWidth % 2 == 1) ? 0.5 : 0.0;
    setSource(frameColor);
    cairo_set_line_width(impl->cairo, lineWidth);
    cairo_set_line_cap(impl->cairo, CAIRO_LINE_CAP_SQUARE);
    cairo_move_to(impl->cairo, x1 + shift, y1 + shift);
    cairo_line_to(impl->cairo, x2 + shift, y2 + shift);
    cairo_stroke(impl->cairo);
}

void CDrawContext::fillCircle(double cx, double cy, double radius) {
    if (radius <= 0.0 || fillColor.isTransparent()) return;
    setSource(fillColor);
    cairo_new_path(impl->cairo);
    cairo_arc(impl->cairo, cx, cy, radius, 0.0, 2.0 * M_PI);
    cairo_fill(impl->cairo);
}

void CDrawContext::frameCircle(double cx, double cy, double radius) {
    drawArc(cx, cy, radius, 0.0, 360.0);
}

void CDrawContext::drawArc(double cx, double cy, double radius, double startDegrees,
                           double endDegrees) {
    if (radius <= 0.0 || frameColor.isTransparent() || endDegrees <= startDegrees) return;
    setSource(frameColor);
    cairo_set_line_width(impl->cairo, lineWidth);
    cairo_set_line_cap(impl->cairo, CAIRO_LINE_CAP_BUTT);
    cairo_new_path(impl->cairo);
    cairo_arc(impl->cairo, cx, cy, radius, startDegrees * M_PI / 180.0, endDegrees * M_PI / 180.0);
    cairo_stroke(impl->cairo);
}

void CDrawContext::drawSegment(double x1, double y1, double x2, double y2) {
    if (frameColor.isTransparent()) return;
    setSource(frameColor);
    cairo_set_line_width(impl->cairo, lineWidth);
    cairo_set_line_cap(impl->cairo, CAIRO_LINE_CAP_ROUND);
    cairo_new_path(impl->cairo);
    cairo_move_to(impl->cairo, x1, y1);
    cairo_line_to(impl->cairo, x2, y2);
    cairo_stroke(impl->cairo);
}

void CDrawContext::fillShadedCircle(double cx, double cy, double radius, const CColor& inner,
                                    const CColor& outer) {
    if (radius <= 0.0) return;
    cairo_pattern_t* pattern = cairo_pattern_create_radial(cx - radius * 0.35, cy - radius * 0.35,
                                                           radius * 0.1, cx, cy, radius);
    cairo_pattern_add_color_stop_rgba(pattern, 0.0, inner.red / 255.0, inner.green / 255.0,
                                      inner.blue / 255.0, inner.alpha / 255.0);
    cairo_pattern_add_color_stop_rgba(pattern, 1.0, outer.red / 255.0, outer.green / 255.0,
                                      outer.blue / 255.0, outer.alpha / 255.0);
    cairo_set_source(impl->cairo, pattern);
    cairo_new_path(impl->cairo);
    cairo_arc(impl->cairo, cx, cy, radius, 0.0, 2.0 * M_PI);
    cairo_fill(impl->cairo);
    cairo_pattern_destroy(pattern);
}

void CDrawContext::fillVerticalGradient(const CRect& rect, const CColor& top,
                                        const CColor& bottom) {
    if (rect.isEmpty()) return;
    cairo_pattern_t* pattern = cairo_pattern_create_linear(0.0, rect.top, 0.0, rect.bottom);
    cairo_pattern_add_color_stop_rgba(pattern, 0.0, top.red / 255.0, top.green / 255.0,
                                      top.blue / 255.0, top.alpha / 255.0);
    cairo_pattern_add_color_stop_rgba(pattern, 1.0, bottom.red / 255.0, bottom.green / 255.0,
                                      bottom.blue / 255.0, bottom.alpha / 255.0);
    cairo_set_source(impl->cairo, pattern);
    cairo_rectangle(impl->cairo, rect.left, rect.top, rect.width(), rect.height());
    cairo_fill(impl->cairo);
    cairo_pattern_destroy(pattern);
}

void CDrawContext::setDashed(bool state) {
    dashed = state;
    const double pattern[2] = {2.0, 3.0};
    cairo_set_dash(impl->cairo, pattern, dashed ? 2 : 0, 0.0);
}

void CDrawContext::drawString(const char* text, const CRect& rect, CHoriTxtAlign align,
                              int length) {
    if (text == nullptr || rect.isEmpty() || fontColor.isTransparent()) return;
    char utf8[2 * kMaxDrawnBytes + 1];
    toUtf8(text, length, utf8);
    if (utf8[0] == '\0') return;

    cairo_font_extents_t font;
    cairo_font_extents(impl->cairo, &font);
    cairo_text_extents_t extents;
    cairo_text_extents(impl->cairo, utf8, &extents);
    double x = rect.left;
    if (align == kCenterText)
        x = rect.left + (rect.width() - extents.x_advance) / 2.0;
    else if (align == kRightText)
        x = rect.right - extents.x_advance;
    const double baseline =
        rect.top + (rect.height() - (font.ascent + font.descent)) / 2.0 + font.ascent;

    cairo_save(impl->cairo);
    cairo_rectangle(impl->cairo, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(impl->cairo);
    setSource(fontColor);
    cairo_move_to(impl->cairo, std::round(x), std::round(baseline));
    cairo_show_text(impl->cairo, utf8);
    cairo_restore(impl->cairo);
}

int CDrawContext::getStringWidth(const char* text, int length) {
    if (text == nullptr) return 0;
    char utf8[2 * kMaxDrawnBytes + 1];
    toUtf8(text, length, utf8);
    cairo_text_extents_t extents;
    cairo_text_extents(impl->cairo, utf8, &extents);
    return static_cast<int>(std::lround(extents.x_advance));
}

void CDrawContext::pushClip(const CRect& rect) {
    cairo_save(impl->cairo);
    cairo_rectangle(impl->cairo, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(impl->cairo);
}

void CDrawContext::popClip() {
    cairo_restore(impl->cairo);
}

CColor CDrawContext::getPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CColor(0, 0, 0);
    cairo_surface_flush(impl->surface);
    const unsigned char* data = cairo_image_surface_get_data(impl->surface);
    if (data == nullptr) return CColor(0, 0, 0);
    const int stride = cairo_image_surface_get_stride(impl->surface);
    uint32_t pixel = 0;
    std::memcpy(&pixel, data + y * stride + 4 * x, sizeof(pixel));
    const unsigned alpha = pixel >> 24;
    auto channel = [&](int shift) {
        const unsigned value = (pixel >> shift) & 0xff;
        // Stored premultiplied by alpha.
        return static_cast<unsigned char>(alpha == 0 ? 0 : (value * 255 + alpha / 2) / alpha);
    };
    return CColor(channel(16), channel(8), channel(0), static_cast<unsigned char>(alpha));
}
