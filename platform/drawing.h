// A picture described as a list of simple shapes, in logical pixels (96 to
// the inch): what a Chart control shows. Backends draw exactly this, scaled
// to the window's dpi, so every platform shows the same picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx::platform {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct FilledRect {
    double x = 0, y = 0, width = 0, height = 0;
    Rgb fill;
    bool operator==(const FilledRect&) const = default;
};

struct LineShape {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Rgb color;
    bool operator==(const LineShape&) const = default;
};

enum class HAlign { Left, Centre, Right };
enum class VAlign { Top, Middle, Bottom };

// Text placed by its anchor: (x, y) is the point of the text's box that the
// alignments name (Right + Middle: the middle of its right edge).
struct TextShape {
    double x = 0, y = 0;
    std::string text;
    HAlign hAlign = HAlign::Left;
    VAlign vAlign = VAlign::Top;
    Rgb color;
    bool operator==(const TextShape&) const = default;
};

struct Drawing {
    double width = 0, height = 0;  // the area the shapes were laid out for
    Rgb background{255, 255, 255};
    double fontPoints = 8;  // every text's size
    // Drawn in this order: lines (grids under the bars), then rectangles,
    // then texts.
    std::vector<LineShape> lines;
    std::vector<FilledRect> rects;
    std::vector<TextShape> texts;
    bool operator==(const Drawing&) const = default;
};

}  // namespace vx::platform
