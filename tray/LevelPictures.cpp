#include "tray/LevelPictures.h"

#include <array>

#include "platform/pictures.h"

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

platform::PictureHandle LevelPicture(int level) {
    static std::array<platform::PictureHandle, 8> made{};
    if (made[static_cast<std::size_t>(level)] == 0)
        made[static_cast<std::size_t>(level)] =
            platform::CreatePicture(kLevelPictureSize, kLevelPictureSize, LevelPixels(4 * (level + 1)));
    return made[static_cast<std::size_t>(level)];
}

platform::PictureHandle WindowIconPicture() {
    static platform::PictureHandle made = 0;
    if (made == 0) made = platform::CreatePicture(kLevelPictureSize, kLevelPictureSize, LevelPixels(kWindowIconRows));
    return made;
}

}  // namespace vx
