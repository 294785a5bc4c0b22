// The few plain types every layer above the seam shares.
#pragma once

#include <cstdint>

namespace vx::platform {

// Opaque handles: what a backend gives out for a window and for a picture.
// On Windows they are the native HWND and HICON.
using WindowHandle = std::intptr_t;
using PictureHandle = std::intptr_t;

enum class MouseButton { Left = 1, Right = 2, Middle = 4 };

inline constexpr int kTwipsPerPixel = 15;  // at 96 dpi

}  // namespace vx::platform
