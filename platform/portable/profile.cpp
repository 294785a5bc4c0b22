// The Windows profile-file rules, for the backends that have no kernel32.
#include "platform/portable/profile_file.h"

#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/profile.h"

namespace vx::platform {

namespace portable {

// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): a hook only tests set
std::function<void(const std::string&)> g_beforeProfileRename;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

struct Lines {
    std::vector<std::string> text;  // without line endings
    std::vector<std::string> ends;  // each line's own ending, kept as it was; empty for a new line
    // The file's own line ending, for new lines; the system's for a new file.
    // (Set here, not by assigning a literal later: GCC 12 at -O3 warns
    // falsely about that assignment, -Wrestrict.)
#ifdef _WIN32
    std::string eol = std::string("\r\n");
#else
    std::string eol = std::string("\n");
#endif
    bool existed = false;

    void insert(std::size_t at, std::string line) {
        text.insert(text.begin() + static_cast<long>(at), std::move(line));
        ends.insert(ends.begin() + static_cast<long>(at), std::string());
    }
    void erase(std::size_t from, std::size_t to) {
        text.erase(text.begin() + static_cast<long>(from), text.begin() + static_cast<long>(to));
        ends.erase(ends.begin() + static_cast<long>(from), ends.begin() + static_cast<long>(to));
    }
};

// Reads a profile file whole: only a regular file of at most kLargestProfile
// bytes, so that a FIFO never holds the program up and a device or a huge
// file is never read. False (errno set) for anything else but a missing file.
bool ReadProfileFile(const std::string& file, std::string& all, bool& existed) {
    existed = false;
#ifdef _WIN32
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (ec || !std::filesystem::exists(status)) return true;
    existed = true;
    if (!std::filesystem::is_regular_file(status)) {
        errno = EINVAL;
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return true;
    all.resize(kLargestProfile + 1);
    in.read(all.data(), static_cast<std::streamsize>(all.size()));
    all.resize(static_cast<std::size_t>(in.gcount()));
#else
    // Not blocking: a FIFO opens at once and is refused below.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    // Absent, or unreadable: read as absent, as always.
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR || errno == EACCES;
    existed = true;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return false;
    }
    all.resize(kLargestProfile + 1);
    std::size_t got = 0;
    while (got < all.size()) {
        const ssize_t n = ::read(fd, all.data() + got, all.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    all.resize(got);
#endif
    if (all.size() > kLargestProfile) {
        all.clear();
        errno = EFBIG;
        return false;
    }
    return true;
}

Lines ReadLines(const std::string& file, bool& usable) {
    Lines lines;
    std::string all;
    usable = ReadProfileFile(file, all, lines.existed);
    if (!usable) return lines;
    bool eolKnown = false;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t nl = all.find('\n', start);
        std::size_t end = nl == std::string::npos ? all.size() : nl;
        std::size_t textEnd = end;
        if (textEnd > start && all[textEnd - 1] == '\r') --textEnd;
        if (!eolKnown && nl != std::string::npos) {
            lines.eol = textEnd < end ? "\r\n" : "\n";
            eolKnown = true;
        }
        lines.text.emplace_back(all, start, textEnd - start);
        lines.ends.emplace_back(all, textEnd, (nl == std::string::npos ? end : nl + 1) - textEnd);
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

// "[name]" with blanks around: the section's name, else nothing.
bool SectionName(std::string_view line, std::string_view& name) {
    std::string_view t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    std::size_t close = t.find(']');
    if (close == std::string_view::npos) return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

bool KeyOf(std::string_view line, std::string_view& key) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';') return false;
    std::size_t eq = t.find('=');
    key = Trim(eq == std::string_view::npos ? t : t.substr(0, eq));
    return true;
}

// Index of the section header, or -1.
long FindSection(const Lines& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.text.size(); ++i) {
        std::string_view name;
        if (SectionName(lines.text[i], name) && SameNoCase(name, section)) return static_cast<long>(i);
    }
    return -1;
}

// One past the section's last line (the next header, or the end).
std::size_t SectionEnd(const Lines& lines, long header) {
    std::size_t i = static_cast<std::size_t>(header) + 1;
    std::string_view name;
    while (i < lines.text.size() && !SectionName(lines.text[i], name)) ++i;
    return i;
}

long FindKey(const Lines& lines, long header, std::string_view key) {
    std::size_t end = SectionEnd(lines, header);
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < end; ++i) {
        std::string_view k;
        if (KeyOf(lines.text[i], k) && SameNoCase(k, key)) return static_cast<long>(i);
    }
    return -1;
}

// A name beside the file for its next version. Not unique by itself (a
// forked writer continues the same sequence): the writer creates the file
// exclusively and takes another name when this one is there already.
std::string TempNameBeside(const std::string& file) {
    static std::mt19937 rng{std::random_device{}()};
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(rng()));
    return file + suffix + ".tmp";
}

#ifndef _WIN32
// Writes all of it, going on after interruptions.
bool WriteAll(int fd, const char* p, std::size_t left) {
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Replaces the file's contents where it is: not atomic, but what is kept
// where nothing else can be.
bool WriteInPlace(const std::string& file, const std::string& contents) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, contents.data(), contents.size());
    if (ok && ::fsync(fd) != 0) ok = false;
    const int error = errno;
    if (::close(fd) != 0 && ok) return false;
    errno = error;
    return ok;
}

// The file a name stands for, through any symbolic links (relative ones
// from the link's own folder); the name itself when it is no link.
std::string ThroughLinks(const std::string& file) {
    std::filesystem::path path(file);
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) break;
        const std::filesystem::path to = std::filesystem::read_symlink(path, ec);
        if (ec) break;
        path = to.is_absolute() ? to : path.parent_path() / to;
    }
    return path.string();
}

void SyncFolderOf(const std::string& file) {
    std::filesystem::path folder = std::filesystem::path(file).parent_path();
    if (folder.empty()) folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}
#endif

// Writes the whole file anew beside the old one and renames it over it, so a
// reader (or a crash) sees either the old file or the new one, never half.
bool WriteAtomically(const std::string& file, const std::string& contents) {
#ifdef _WIN32
    std::string temp = TempNameBeside(file);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        if (!out.flush()) {
            out.close();
            std::remove(temp.c_str());
            return false;
        }
    }
    if (g_beforeProfileRename) g_beforeProfileRename(temp);
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) std::remove(temp.c_str());
    return !ec;
#else
    // A link is written through: its target is the file, replaced in its own folder.
    const std::string target = ThroughLinks(file);
    struct stat st;
    const bool existed = ::stat(target.c_str(), &st) == 0;
    // A name left behind by a writer that died, or taken by another one, is
    // never reused: the new version always starts from an empty file.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = TempNameBeside(target);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    // A folder we may not create files in, holding a file we may write: the
    // file is written in place rather than not at all.
    if (fd < 0) return existed && errno != EEXIST && WriteInPlace(target, contents);
    // An existing file keeps its mode exactly (the umask does not apply to it).
    bool ok = !existed || ::fchmod(fd, st.st_mode & 07777) == 0;
    std::size_t done = 0;
    if (ok && g_beforeProfileRename && contents.size() > 1) {
        // Let a test die with half the file written.
        done = contents.size() / 2;
        ok = WriteAll(fd, contents.data(), done);
        g_beforeProfileRename(temp);
    }
    ok = ok && WriteAll(fd, contents.data() + done, contents.size() - done);
    // The new file is on the disk before it takes the old one's name, and
    // the name change is on the disk before the write counts as done: a
    // power cut leaves the old totals or the new ones.
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) ok = false;
    if (!ok) {
        const int error = errno;
        ::unlink(temp.c_str());
        errno = error;
        return false;
    }
    SyncFolderOf(target);
    return true;
#endif
}

// Every line with its own ending, byte for byte; new lines, and a last line
// that had none, with the file's.
std::string Join(const Lines& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.text.size(); ++i) {
        out += lines.text[i];
        const std::string& end = lines.ends[i];
        out += end.empty() || end.back() != '\n' ? lines.eol : end;
    }
    return out;
}

}  // namespace

std::string Problem(const std::string& file) {
    std::string all;
    bool existed = false;
    if (ReadProfileFile(file, all, existed)) return {};
    if (errno == EFBIG)
        return "it is larger than " + std::to_string(kLargestProfile / 1024) + " KB, more than a settings file holds";
    return errno == EINVAL ? std::string("it is not a plain file") : std::string(std::strerror(errno));
}

std::uint32_t GetString(const char* section, const char* key, const char* deflt, char* buffer, std::uint32_t size,
                        const char* file) {
    if (buffer == nullptr || size == 0) return 0;
    std::string value = deflt ? std::string(Trim(deflt)) : std::string();
    if (section && key && file) {
        bool usable = true;
        Lines lines = ReadLines(file, usable);
        long header = FindSection(lines, section);
        long line = header < 0 ? -1 : FindKey(lines, header, key);
        if (line >= 0) {
            const std::string& text = lines.text[static_cast<std::size_t>(line)];
            std::size_t eq = text.find('=');
            std::string_view v =
                eq == std::string::npos ? std::string_view() : Trim(std::string_view(text).substr(eq + 1));
            // A value in matching quotes loses them, as kernel32 does.
            if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                v = v.substr(1, v.size() - 2);
            value = std::string(v);
        }
    }
    std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

bool WriteString(const char* section, const char* key, const char* value, const char* file) {
    if (section == nullptr || file == nullptr) return false;
    bool usable = true;
    Lines lines = ReadLines(file, usable);
    // What cannot be read is not replaced: a FIFO, a device or a huge file
    // stays as it is.
    if (!usable) return false;
    const long header = FindSection(lines, section);
    const long line = key != nullptr && header >= 0 ? FindKey(lines, header, key) : -1;
    if (key == nullptr) {  // remove the whole section
        if (header < 0) return true;
        const auto end = static_cast<long>(SectionEnd(lines, header));
        lines.erase(static_cast<std::size_t>(header), static_cast<std::size_t>(end));
    } else if (value == nullptr) {  // remove the key
        if (line < 0) return true;
        lines.erase(static_cast<std::size_t>(line), static_cast<std::size_t>(line) + 1);
    } else if (header < 0) {
        lines.insert(lines.text.size(), std::string("[") + section + "]");
        lines.insert(lines.text.size(), std::string(key) + "=" + value);
    } else if (line >= 0) {
        std::string& text = lines.text[static_cast<std::size_t>(line)];
        std::string_view k;
        KeyOf(text, k);
        text = std::string(k) + "=" + value;
    } else {
        // After the section's last non-blank line.
        std::size_t at = SectionEnd(lines, header);
        while (at > static_cast<std::size_t>(header) + 1 && Trim(lines.text[at - 1]).empty()) --at;
        lines.insert(at, std::string(key) + "=" + value);
    }
    return WriteAtomically(file, Join(lines));
}

void RemoveStale(const std::string& file) {
#ifndef _WIN32
    const std::filesystem::path target(ThroughLinks(file));
#else
    const std::filesystem::path target(file);
#endif
    const std::string prefix = target.filename().string() + ".";
    std::error_code ec;
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::directory_iterator it(target.parent_path().empty() ? "." : target.parent_path(), ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // Only our own names: the file's, a dot, eight hex digits, ".tmp".
        if (name.size() != prefix.size() + 12 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".tmp") != 0)
            continue;
        const std::string digits = name.substr(prefix.size(), 8);
        if (digits.find_first_not_of("0123456789abcdef") != std::string::npos) continue;
        std::error_code timeError;
        const auto written = std::filesystem::last_write_time(it->path(), timeError);
        // A live writer finishes within moments; a minute-old one is dead.
        if (timeError || now - written < std::chrono::minutes(1)) continue;
        std::error_code removeError;
        std::filesystem::remove(it->path(), removeError);
    }
}

}  // namespace portable

}  // namespace vx::platform
