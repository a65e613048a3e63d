// What the tests hold the simulator's pictures against: read by librsvg
// (whose reader is libxml2's, strict about well-formed XML) and drawn with
// it and cairo here, not through the simulator's own drawing, so that a
// fault there cannot hide itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb; // rows top to bottom, 0xAARRGGBB
    bool operator==(const Pixels&) const = default;
};

// "" when the text is a well-formed SVG document with no words outside
// its text elements, else what is wrong.
std::string xmlError(const std::string& svg);

// The picture filling width x height pixels over black, as a screenshot
// of it would look.
Pixels drawnPixels(const std::string& svg, int width, int height);

// A PNG file's pixels; none when it is not one.
Pixels pngPixels(const std::string& path);
