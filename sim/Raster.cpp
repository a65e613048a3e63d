#include "sim/Raster.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <memory>

namespace {

struct GObjectUnref {
    void operator()(void* object) const { g_object_unref(object); }
};
struct SurfaceDestroy {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDestroy {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDestroy>;

// A larger picture than any screen the simulator takes, at any scale.
constexpr int kLargestSide = 16384;

std::string takeError(GError* e, const char* what) {
    std::string text = std::string(what) + (e && e->message ? std::string(": ") + e->message : std::string());
    if (e) g_error_free(e);
    return text;
}

} // namespace

Bitmap rasteriseSvg(const std::string& svg, int width, int height, std::string& error) {
    if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) {
        error = "a picture of " + std::to_string(width) + "x" + std::to_string(height) + " pixels cannot be drawn";
        return {};
    }
    GError* gerror = nullptr;
    std::unique_ptr<RsvgHandle, GObjectUnref> handle(
        rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &gerror));
    if (!handle) {
        error = takeError(gerror, "not a picture");
        return {};
    }
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        error = "no memory for the picture";
        return {};
    }
    {
        std::unique_ptr<cairo_t, ContextDestroy> cr(cairo_create(surface.get()));
        cairo_set_source_rgb(cr.get(), 0, 0, 0);
        cairo_paint(cr.get());
        RsvgRectangle viewport{0, 0, static_cast<double>(width), static_cast<double>(height)};
        if (!rsvg_handle_render_document(handle.get(), cr.get(), &viewport, &gerror)) {
            error = takeError(gerror, "the picture cannot be drawn");
            return {};
        }
    }
    cairo_surface_flush(surface.get());
    // Over an opaque black ground every pixel is opaque, so cairo's
    // premultiplied words are the plain colours.
    Bitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.argb.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        std::copy(row, row + width, bitmap.argb.begin() + static_cast<ptrdiff_t>(y) * width);
    }
    return bitmap;
}

std::string writePng(const Bitmap& bitmap, const std::string& path) {
    if (bitmap.empty()) return "no picture to write";
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, bitmap.width);
    if (stride != bitmap.width * 4) return "the picture's rows are not cairo's";
    // cairo only reads the pixels here; it takes them without a copy.
    Surface surface(
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(bitmap.argb.data())),
                                            CAIRO_FORMAT_ARGB32, bitmap.width, bitmap.height, stride));
    cairo_status_t status = cairo_surface_write_to_png(surface.get(), path.c_str());
    if (status != CAIRO_STATUS_SUCCESS) return "cannot write " + path + " (" + cairo_status_to_string(status) + ")";
    return "";
}
