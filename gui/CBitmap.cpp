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
