#include "tray/LevelPictures.h"

#include <array>

#include "platform/pictures.h"

namespace vx {

platform::PictureHandle LevelPicture(int level) {
    static std::array<platform::PictureHandle, 8> made{};
    if (made[static_cast<std::size_t>(level)] == 0)
        made[static_cast<std::size_t>(level)] =
            platform::CreatePicture(kLevelPictureSize, [level](int n) { return LevelPixelsAt(n, 4 * (level + 1)); });
    return made[static_cast<std::size_t>(level)];
}

platform::PictureHandle WindowIconPicture() {
    static platform::PictureHandle made = 0;
    if (made == 0)
        made = platform::CreatePicture(kLevelPictureSize, [](int n) { return LevelPixelsAt(n, kWindowIconRows); });
    return made;
}

}  // namespace vx
