// Pictures made by the program (the level pictures and the window's icon).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/types.h"

namespace vx::platform {

// width x height pixels, 0xRRGGBB each, top row first; fully opaque. The
// picture lives until the program ends.
PictureHandle CreatePicture(int width, int height, const std::vector<std::uint32_t>& rgb);

// n x n pixels of the same square picture drawn for that size (0xRRGGBB, top
// row first), for any n > 0.
using SquareDrawing = std::function<std::vector<std::uint32_t>(int n)>;
// A square picture `size` pixels wide at the usual density that the backend
// draws again at whatever size it shows it (icons at several sizes, screens
// of higher density), so that it is never an enlarged copy. The picture lives
// until the program ends.
PictureHandle CreatePicture(int size, SquareDrawing draw);

}  // namespace vx::platform
