// The level pictures' pixels alone, without the platform's picture calls, so
// that the build's icon tool (tools/mkicons.cpp) draws the very same picture.
#include <cstddef>

#include "tray/LevelPictures.h"

namespace vx {

std::vector<std::uint32_t> LevelPixels(int rows) { return LevelPixelsAt(kLevelPictureSize, rows); }

std::vector<std::uint32_t> LevelPixelsAt(int size, int rows) {
    const auto n = static_cast<std::size_t>(size < 1 ? 1 : size);
    std::vector<std::uint32_t> pixels(n * n, kLevelWhite);
    const int clamped = rows < 0 ? 0 : rows > kLevelPictureSize ? kLevelPictureSize : rows;
    // Rounded to the nearest pixel row, so every size shows the same level.
    const std::size_t filled = (n * static_cast<std::size_t>(clamped) + kLevelPictureSize / 2) / kLevelPictureSize;
    for (std::size_t y = n - filled; y < n; ++y)
        for (std::size_t x = 0; x < n; ++x) pixels[y * n + x] = kLevelGreen;
    return pixels;
}

}  // namespace vx
