#include "traffic/LineSpeed.h"

#include <cmath>

#include "runtime/numtext.h"

namespace vx {

namespace {

void SkipBlanks(std::string_view& s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
}

bool EatNoCase(std::string_view& s, std::string_view word) {
    if (!StartsWithNoCase(s, word)) return false;
    s.remove_prefix(word.size());
    return true;
}

// One speed: a number, blanks, a unit letter, then optionally "bit", "bit/s", "bps", "b", "b/s".
std::optional<double> OneSpeed(std::string_view& s) {
    SkipBlanks(s);
    std::size_t n = 0;
    bool dot = false;
    while (n < s.size() && ((s[n] >= '0' && s[n] <= '9') || (s[n] == '.' && !dot))) {
        dot = dot || s[n] == '.';
        ++n;
    }
    if (n == 0 || (n == 1 && dot)) return std::nullopt;
    const std::optional<double> number = ParseNumber(s.substr(0, n));
    if (!number) return std::nullopt;
    s.remove_prefix(n);
    SkipBlanks(s);
    if (s.empty()) return std::nullopt;
    double unit = 0;
    switch (LowerAscii(s.front())) {
    case 'k': unit = 1e3; break;
    case 'm': unit = 1e6; break;
    case 'g': unit = 1e9; break;
    case 't': unit = 1e12; break;
    default: return std::nullopt;
    }
    s.remove_prefix(1);
    if (!EatNoCase(s, "bit/s") && !EatNoCase(s, "bits/s") && !EatNoCase(s, "bits") && !EatNoCase(s, "bit") &&
        !EatNoCase(s, "bps") && !EatNoCase(s, "b/s"))
        EatNoCase(s, "b");
    SkipBlanks(s);
    const double bits = *number * unit;
    if (!(bits >= 1000) || bits > 1e13) return std::nullopt;  // 1 kbit/s to 10 Tbit/s
    return bits;
}

}  // namespace

std::optional<LineSpeed> ParseLineSpeed(std::string_view text) {
    std::string_view s = text;
    const std::optional<double> down = OneSpeed(s);
    if (!down) return std::nullopt;
    LineSpeed speed{*down, 0};
    if (!s.empty() && s.front() == '/') {
        s.remove_prefix(1);
        const std::optional<double> up = OneSpeed(s);
        if (!up) return std::nullopt;
        speed.up = *up;
    }
    if (!s.empty()) return std::nullopt;
    return speed;
}

Scales ScalesFor(const std::string& speedText) {
    if (const std::optional<LineSpeed> speed = ParseLineSpeed(speedText)) return ScalesFor(*speed);
    Scales scales;
    if (speedText == "512") scales.incomingMax = 65536;
    return scales;
}

Scales ScalesFor(const LineSpeed& speed) {
    Scales scales;
    scales.incomingMax = static_cast<float>(speed.down / 8);
    scales.outgoingMax = static_cast<float>((speed.up > 0 ? speed.up : speed.down) / 8);
    scales.megabytes = true;
    return scales;
}

std::string RateText(double bytesPerSecond, bool megabytes) {
    const double kilo = std::floor(bytesPerSecond / 1024);
    if (!megabytes || kilo < 1000) return NumText(kilo) + "k/s";
    // Tenths by hand: the C library would use the locale's decimal mark.
    const double tenths = std::floor(bytesPerSecond / 1048576 * 10);
    const double whole = std::floor(tenths / 10);
    return NumText(whole) + "." + NumText(tenths - whole * 10) + "M/s";
}

std::string ScaleText(double bytesPerSecond, bool megabytes) {
    const double mega = bytesPerSecond / 1048576;
    if (!megabytes || mega < 10) return RateText(bytesPerSecond, megabytes);
    return NumText(std::round(mega)) + "M/s";
}

}  // namespace vx
