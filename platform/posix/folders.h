// The user's folders and file-system answers on POSIX systems, shared by the
// Linux backends.
#pragma once

#include <string>

namespace vx::platform::posix {

// Whether files can be created in `folder` by this user; folders under /usr
// belong to the system even for root.
bool FolderIsWritable(const std::string& folder);

}  // namespace vx::platform::posix
