// The simulator's SVG pictures as pixels, drawn by librsvg on a cairo
// surface: for `snapshot FILE.png` and for the frames of a film.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An opaque picture, rows top to bottom, each pixel 0xAARRGGBB with alpha
// 255 (the phone's screen has nothing behind it).
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;
    bool empty() const { return argb.empty(); }
};

// Draws the picture into width x height pixels, scaled to fit and centred,
// over black. Answers an empty bitmap and sets error when the text is not
// a picture librsvg can draw or the size is not a sensible one.
Bitmap rasteriseSvg(const std::string& svg, int width, int height, std::string& error);

// Writes the bitmap as a PNG file. Answers why it could not, or "".
std::string writePng(const Bitmap& bitmap, const std::string& path);
