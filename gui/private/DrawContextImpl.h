#pragma once

// The cairo side of CDrawContext, for the toolkit's own sources only.

#include "gui/CDrawContext.h"

#include <cairo.h>

struct CDrawContext::Impl {
    cairo_surface_t* surface; // image surface, ARGB32
    cairo_t* cairo;
};
