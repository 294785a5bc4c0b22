// The notification-area call and its record, in the 88-byte ANSI layout the
// component keeps (a 64-byte tooltip). Backends convert where they must.
#pragma once

#include "platform/types.h"

namespace vx::platform {

inline constexpr DWORD NIM_ADD = 0;
inline constexpr DWORD NIM_MODIFY = 1;
inline constexpr DWORD NIM_DELETE = 2;
inline constexpr UINT NIF_MESSAGE = 1;
inline constexpr UINT NIF_ICON = 2;
inline constexpr UINT NIF_TIP = 4;

struct NOTIFYICONDATA {
    DWORD cbSize = 0;
    HWND hWnd = 0;
    UINT uID = 0;
    UINT uFlags = 0;
    UINT uCallbackMessage = 0;
    HICON hIcon = 0;
    char szTip[64] = {};
};

BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATA* data);

}  // namespace vx::platform
