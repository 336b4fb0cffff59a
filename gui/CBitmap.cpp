#include "gui/CBitmap.h"

#include "gui/CDrawContext.h"
#include "gui/EmbeddedResources.h"
#include "gui/private/DrawContextImpl.h"

#include <cairo.h>
#include <cstdio>
#include <cstring>

struct CBitmap::Impl {
    cairo_surface_t* surface;
};

namespace {

struct PngReader {
    const unsigned char* data;
    unsigned long size;
    unsigned long position;
};

// cairo pulls the PNG through this: never past the end of the bytes handed in.
cairo_status_t readPng(void* closure, unsigned char* output, unsigned int length) {
    PngReader* reader = static_cast<PngReader*>(closure);
    if (length > reader->size - reader->position) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(output, reader->data + reader->position, length);
    reader->position += length;
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

CBitmap::CBitmap(long resourceId) : impl(new Impl{nullptr}), width(0), height(0) {
    static const char* const extensions[] = {"png", "bmp", "jpg", "pict"};
    for (const char* extension : extensions) {
        char name[32];
        std::snprintf(name, sizeof(name), "bmp%05ld.%s", resourceId, extension);
        const unsigned char* data = nullptr;
        unsigned long size = 0;
        if (!findEmbeddedResource(name, &data, &size)) continue;
        if (std::strcmp(extension, "png") == 0) load(data, size);
        return;
    }
}

bool CBitmap::readSize(long resourceId, int* width, int* height) {
    *width = 0;
    *height = 0;
    char name[32];
    std::snprintf(name, sizeof(name), "bmp%05ld.png", resourceId);
    const unsigned char* data = nullptr;
    unsigned long size = 0;
    // Signature (8 bytes), then the IHDR chunk: length (4), type (4), width and height (4 each).
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (!findEmbeddedResource(name, &data, &size) || size < 24) return false;
    if (std::memcmp(data, signature, 8) != 0 || std::memcmp(data + 12, "IHDR", 4) != 0)
        return false;
    auto bigEndian = [&](int at) {
        return (static_cast<unsigned long>(data[at]) << 24) | (data[at + 1] << 16) |
               (data[at + 2] << 8) | data[at + 3];
    };
    const unsigned long w = bigEndian(16), h = bigEndian(20);
    if (w == 0 || h == 0 || w > 32767 || h > 32767) return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

CBitmap::CBitmap(const unsigned char* png, unsigned long size)
    : impl(new Impl{nullptr}), width(0), height(0) {
    load(png, size);
}

CBitmap::~CBitmap() {
    if (impl->surface != nullptr) cairo_surface_destroy(impl->surface);
    delete impl;
}

void CBitmap::load(const unsigned char* png, unsigned long size) {
    if (png == nullptr || size == 0) return;
    PngReader reader{png, size, 0};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return;
    }
    impl->surface = surface;
    width = cairo_image_surface_get_width(surface);
    height = cairo_image_surface_get_height(surface);
}

void CBitmap::draw(CDrawContext* context, const CRect& destination, int offsetX, int offsetY) {
    if (context == nullptr || impl->surface == nullptr || destination.isEmpty()) return;
    cairo_t* cairo = context->getImpl()->cairo;
    cairo_save(cairo);
    cairo_rectangle(cairo, destination.left, destination.top, destination.width(),
                    destination.height());
    cairo_clip(cairo);
    cairo_set_source_surface(cairo, impl->surface, destination.left - offsetX,
                             destination.top - offsetY);
    cairo_paint(cairo);
    cairo_restore(cairo);
}
