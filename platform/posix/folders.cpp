#include "platform/posix/folders.h"

#ifdef _WIN32
#include <io.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/app.h"

// Shared by the Linux backends, and by the headless backend wherever it is
// built (its unit tests also run under Wine, where the Windows answers apply).
namespace vx::platform {

namespace {

#ifndef _WIN32
std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

// An XDG base folder: the variable when it holds an absolute path (relative
// ones are invalid and ignored), else its default under the home folder.
std::string XdgFolder(const char* variable, const char* fallback) {
    if (const char* value = std::getenv(variable); value && value[0] == '/') return value;
    return HomeFolder() + "/" + fallback;
}
#endif

}  // namespace

#ifdef _WIN32
std::string UserConfigFolder() {
    const char* appData = std::getenv("APPDATA");
    return std::string(appData && *appData ? appData : ".") + "\\vxstat";
}
std::string UserDataFolder() { return UserConfigFolder(); }
#else
std::string UserConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config") + "/vxstat"; }
std::string UserDataFolder() { return XdgFolder("XDG_DATA_HOME", ".local/share") + "/vxstat"; }
#endif

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

bool MakeFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) errno = ec.value();
    return std::filesystem::is_directory(folder, ec);
}

void AttachToTerminal() {}

std::string LastErrorText() { return std::strerror(errno); }

namespace posix {

bool FolderIsWritable(const std::string& folder) {
#ifdef _WIN32
    return ::_access(folder.c_str(), 2) == 0;
#else
    if (folder == "/usr" || folder.rfind("/usr/", 0) == 0) return false;
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
#endif
}

}  // namespace posix

}  // namespace vx::platform
