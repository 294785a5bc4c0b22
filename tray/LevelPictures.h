// The pictures of the tray icon's levels and of the window's own icon: white
// 32 x 32 squares with a green bar filled from the bottom.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"

namespace vx {

inline constexpr int kLevelPictureSize = 32;
inline constexpr std::uint32_t kLevelGreen = 0x87FF1D;  // red 135, green 255, blue 29
inline constexpr std::uint32_t kLevelWhite = 0xFFFFFF;

// Pixels (0xRRGGBB, top row first) of a picture filled to `rows` rows.
std::vector<std::uint32_t> LevelPixels(int rows);
// The same picture drawn at size x size pixels (for icons at other sizes and
// for high-density screens); `rows` still counts in 32ths of the height.
std::vector<std::uint32_t> LevelPixelsAt(int size, int rows);
inline constexpr int kWindowIconRows = 20;

// Level picture i (0..7, filled to 4 x (i + 1) rows); made once.
platform::PictureHandle LevelPicture(int level);
// The window's own icon, filled to 20 rows; made once.
platform::PictureHandle WindowIconPicture();

}  // namespace vx
