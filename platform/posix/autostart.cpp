// The XDG autostart entry: $XDG_CONFIG_HOME/autostart/vxstat.desktop.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/app.h"
#include "platform/autostart.h"

namespace vx::platform {

namespace {

// Beside the program's own config folder: $XDG_CONFIG_HOME/autostart.
std::string AutostartFolder() {
    return std::filesystem::path(UserConfigFolder()).parent_path().append("autostart").string();
}

std::string EntryFile() { return AutostartFolder() + "/vxstat.desktop"; }

// The program's path as one argument of an Exec line: quoted, with the
// characters the desktop entry rules reserve escaped, then escaped again as
// a string value ("\\" for each backslash).
std::string ExecArgument(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (char c : quoted) {
        if (c == '\\') value += '\\';
        value += c;
    }
    return value;
}

}  // namespace

bool StartsAtLogin() {
    std::ifstream in(EntryFile());
    if (!in) return false;
    // An entry the user switched off in the desktop's settings does not start it.
    std::string line;
    while (std::getline(in, line)) {
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return false;
    }
    return true;
}

bool SetStartAtLogin(bool on, std::string& error) {
    const std::string file = EntryFile();
    std::error_code ec;
    if (!on) {
        if (!std::filesystem::remove(file, ec) && ec) {
            error = file + ": " + ec.message();
            return false;
        }
        // A folder made for this entry alone goes with it.
        std::filesystem::remove(AutostartFolder(), ec);
        return true;
    }
    if (!MakeFolder(AutostartFolder())) {
        error = AutostartFolder() + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream entry;
    entry << "[Desktop Entry]\n"
          << "Type=Application\n"
          << "Name=vxstat\n"
          << "Comment=Router traffic in the notification area\n"
          << "Exec=" << ExecArgument(ProgramExecutable()) << "\n"
          << "Terminal=false\n"
          << "X-GNOME-Autostart-enabled=true\n";
    const std::string temp = file + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << entry.str();
        if (!out.flush()) {
            error = file + ": " + std::strerror(errno);
            out.close();
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        error = file + ": " + ec.message();
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace vx::platform
