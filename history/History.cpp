#include "history/History.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vx {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::optional<double> ParseQuota(const std::string& text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    // A plain decimal number: no sign, no exponent, "." as the point whatever
    // the user's regional settings.
    double value = 0;
    bool digits = false;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i++] - '0');
        digits = true;
    }
    if (i < n && text[i] == '.') {
        ++i;
        double scale = 0.1;
        while (i < n && text[i] >= '0' && text[i] <= '9') {
            value += (text[i++] - '0') * scale;
            scale /= 10;
            digits = true;
        }
    }
    if (!digits) return std::nullopt;
    while (i < n && IsBlank(text[i])) ++i;
    double unit = 1;
    if (i < n) {
        switch (text[i]) {
        case 'k':
        case 'K': unit = 1024.0; break;
        case 'm':
        case 'M': unit = 1024.0 * 1024; break;
        case 'g':
        case 'G': unit = 1024.0 * 1024 * 1024; break;
        case 't':
        case 'T': unit = 1024.0 * 1024 * 1024 * 1024; break;
        case 'b':
        case 'B': break;
        default: return std::nullopt;
        }
        if (text[i] != 'b' && text[i] != 'B') {
            ++i;
            // "500GB", "500 GiB" mean the same.
            if (i < n && (text[i] == 'i' || text[i] == 'I')) ++i;
        }
        if (i < n && (text[i] == 'b' || text[i] == 'B')) ++i;
    }
    while (i < n && IsBlank(text[i])) ++i;
    if (i != n) return std::nullopt;
    const double bytes = std::round(value * unit);
    if (!(bytes > 0) || !(bytes <= kLargestQuota)) return std::nullopt;
    return bytes;
}

int MonthStartDay(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    int day = 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3) {
        day = day * 10 + (text[i++] - '0');
        ++digits;
    }
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (digits == 0 || i != text.size() || day < 1 || day > 28) return 1;
    return day;
}

std::string BytesText(double bytes) {
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    if (!std::isfinite(bytes) || bytes < 0) bytes = 0;
    // Far past any count the history holds, and the hundredths still fit.
    bytes = std::min(bytes, 0x1p62);
    double value = bytes / 1024;
    std::size_t unit = 0;
    // The unit is chosen after rounding: 1023.999 KB is "1.00 MB".
    while (unit + 1 < std::size(units) && std::llround(value * 100) >= 102400) {
        value /= 1024;
        ++unit;
    }
    const long long hundredths = std::llround(value * 100);
    const long long fraction = hundredths % 100;
    return std::to_string(hundredths / 100) + (fraction < 10 ? ".0" : ".") + std::to_string(fraction) + " " +
           units[unit];
}

}  // namespace vx
