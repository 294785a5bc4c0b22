// Starting the program when the user logs in: an XDG autostart entry on
// Linux, the current user's Run key on Windows.
#pragma once

#include <string>

namespace vx::platform {

// Whether the desktop starts this program at login, as the entry stands now.
bool StartsAtLogin();
// Adds (or replaces) or removes the entry; removing leaves nothing behind.
// False with `error` set when it cannot be done.
bool SetStartAtLogin(bool on, std::string& error);

}  // namespace vx::platform
