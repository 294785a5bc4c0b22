#include "winutil/modAlwaysOnTop.h"

#include "platform/user32.h"

namespace vx {

void SetAlwaysOnTop(platform::HWND hWnd, long bOnTop) {
    using namespace platform;
    SetWindowPos(hWnd, bOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

}  // namespace vx
