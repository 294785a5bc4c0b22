#pragma once

#include "platform/types.h"

namespace vx {

// Keeps the window above all others (bOnTop non-zero) or puts it back into the
// normal z-order; position and size stay.
void SetAlwaysOnTop(platform::HWND hWnd, long bOnTop);

}  // namespace vx
