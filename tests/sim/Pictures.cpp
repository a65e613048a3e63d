#include "Pictures.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

namespace {

Pixels fromSurface(cairo_surface_t* surface) {
    Pixels p;
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return p;
    cairo_surface_flush(surface);
    p.width = cairo_image_surface_get_width(surface);
    p.height = cairo_image_surface_get_height(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < p.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        p.argb.insert(p.argb.end(), row, row + p.width);
    }
    return p;
}

} // namespace

std::string xmlError(const std::string& svg) {
    // Characters between elements are well-formed XML, but a picture's only
    // words are its text elements': anything else is a tag gone wrong.
    for (size_t close = svg.find('>'); close != std::string::npos; close = svg.find('>', close + 1)) {
        const size_t open = svg.find('<', close);
        const std::string between =
            svg.substr(close + 1, open == std::string::npos ? std::string::npos : open - close - 1);
        const bool blank = between.find_first_not_of(" \n") == std::string::npos;
        if (!blank && (open == std::string::npos || svg.compare(open, 7, "</text>") != 0))
            return "stray text " + between;
    }
    GError* error = nullptr;
    RsvgHandle* handle = rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &error);
    if (handle) {
        g_object_unref(handle);
        return "";
    }
    std::string text = error ? error->message : "not read";
    if (error) g_error_free(error);
    return text;
}

Pixels drawnPixels(const std::string& svg, int width, int height) {
    RsvgHandle* handle = rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), nullptr);
    if (!handle) return {};
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    RsvgRectangle whole{0, 0, static_cast<double>(width), static_cast<double>(height)};
    const bool drawn = rsvg_handle_render_document(handle, cr, &whole, nullptr);
    cairo_destroy(cr);
    g_object_unref(handle);
    Pixels p = drawn ? fromSurface(surface) : Pixels{};
    cairo_surface_destroy(surface);
    return p;
}

Pixels pngPixels(const std::string& path) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    Pixels p = fromSurface(surface);
    cairo_surface_destroy(surface);
    return p;
}
