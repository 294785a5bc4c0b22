// Pictures made by the program (the level pictures and the window's icon).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"

namespace vx::platform {

// width x height pixels, 0xRRGGBB each, top row first; fully opaque. The
// picture lives until the program ends.
PictureHandle CreatePicture(int width, int height, const std::vector<std::uint32_t>& rgb);

}  // namespace vx::platform
