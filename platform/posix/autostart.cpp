// The XDG autostart entry: $XDG_CONFIG_HOME/autostart/vxstat.desktop,
// written and read by the Desktop Entry rules.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
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

bool IsUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not UTF-8.
        static const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

bool HasControl(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

// The program's path as the one argument of an Exec value: quoted, with the
// characters the quoting rules reserve escaped and "%" doubled, then with
// each backslash doubled again as the string value's own escape.
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

// A string value with its escapes (\s \n \t \r \\) undone; false for any other.
bool Unescape(const std::string& value, std::string& text) {
    text.clear();
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            text += value[i];
            continue;
        }
        if (++i == value.size()) return false;
        switch (value[i]) {
        case 's': text += ' '; break;
        case 'n': text += '\n'; break;
        case 't': text += '\t'; break;
        case 'r': text += '\r'; break;
        case '\\': text += '\\'; break;
        default: return false;
        }
    }
    return true;
}

// Whether an Exec value follows the quoting rules: reserved characters only
// inside double quotes, only the four escapes there, and "%" starting a
// field code or "%%".
bool ValidExec(const std::string& value) {
    std::string exec;
    if (!Unescape(value, exec) || exec.empty()) return false;
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    static const std::string codes = "fFuUdDnNickvm%";
    bool quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == '%') {
            if (++i == exec.size() || codes.find(exec[i]) == std::string::npos) return false;
        } else if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\') {
                if (++i == exec.size() || std::string("\"`$\\").find(exec[i]) == std::string::npos) return false;
            } else if (c == '`' || c == '$') {
                return false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c != ' ' && reserved.find(c) != std::string::npos) {
            return false;
        }
    }
    return !quoted;
}

// The [Desktop Entry] group's keys of an entry that follows the rules (UTF-8,
// the group first, each key once, a valid Exec); nothing otherwise.
std::optional<std::map<std::string, std::string>> ReadEntry(const std::string& file) {
    std::error_code ec;
    // A plain, small file only.
    if (!std::filesystem::is_regular_file(file, ec) || std::filesystem::file_size(file, ec) > 65536U || ec)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    if (!in || !IsUtf8(all.str())) return std::nullopt;
    std::map<std::string, std::string> keys;
    std::string line;
    bool inGroup = false, groupSeen = false;
    while (std::getline(all, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            if (!groupSeen && line != "[Desktop Entry]") return std::nullopt;
            inGroup = !groupSeen;
            groupSeen = true;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!groupSeen || eq == std::string::npos) return std::nullopt;
        if (!inGroup) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        if (key.empty() || !keys.emplace(key, value).second) return std::nullopt;
    }
    const auto exec = keys.find("Exec");
    if (!groupSeen || exec == keys.end() || !ValidExec(exec->second)) return std::nullopt;
    return keys;
}

}  // namespace

bool StartsAtLogin() {
    const auto keys = ReadEntry(EntryFile());
    if (!keys) return false;
    // An entry the user switched off in the desktop's settings does not start it.
    const auto value = [&](const char* key) {
        const auto found = keys->find(key);
        return found == keys->end() ? std::string() : found->second;
    };
    return value("Hidden") != "true" && value("X-GNOME-Autostart-enabled") != "false";
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
    // What a desktop entry cannot hold is refused, never written half right.
    const std::string program = ProgramExecutable();
    if (!IsUtf8(program)) {
        error = "The program's path is not UTF-8 text, which a desktop entry cannot hold:\n" + program;
        return false;
    }
    if (HasControl(program)) {
        error =
            "The program's path holds a line break or another control character, which a desktop entry cannot "
            "hold safely. Move vxstat to a folder without one.";
        return false;
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
          << "Exec=" << ExecArgument(program) << "\n"
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
