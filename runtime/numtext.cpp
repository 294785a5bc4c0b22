#include "runtime/numtext.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "runtime/errors.h"

namespace vx {

namespace {

// The C library's printf and strtod follow the locale's decimal mark, which
// the toolkit sets from the environment: the conversions here never ask it.
std::string ToChars(double value, int precision) {
    char buf[64];
    const auto r = precision > 0 ? std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, precision)
                                 : std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general);
    std::string text(buf, r.ptr);
    for (char& c : text)
        if (c == 'e') c = 'E';
    return text;
}

std::optional<double> FromChars(std::string_view s) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);  // from_chars takes no plus sign
    double value = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    return value;
}

// Up to 15 significant digits, exponent form from 1E15 up: " 1234567", " 1E+15".
std::string General15(double value) {
    if (value == 0) return "0";  // also folds -0
    return ToChars(value, 15);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

enum class Counter { Ok, NotDigits, TooLarge };

Counter ReadCounter(std::string_view text, double& out) {
    std::string_view s = Trim(text);
    if (s.empty() || s.size() > 16) return Counter::NotDigits;
    std::uint64_t value = 0;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return Counter::NotDigits;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > (std::uint64_t{1} << 53)) return Counter::TooLarge;
    out = static_cast<double>(value);
    return Counter::Ok;
}

}  // namespace

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (LowerAscii(s[i]) != LowerAscii(prefix[i])) return false;
    return true;
}

std::string Str(double value) {
    std::string text = General15(value);
    // What is written is read back exactly: where 15 digits are not enough
    // (past 2^53, or a fraction), as many as are.
    if (value != 0 && std::isfinite(value) && FromChars(text) != value) text = ToChars(value, 0);
    return text[0] == '-' ? text : " " + text;
}

std::string NumText(double value) { return General15(value); }

std::optional<double> ParseNumber(std::string_view text) {
    std::string_view s = Trim(text);
    if (s.empty()) return std::nullopt;
    std::size_t i = 0;
    if (s[i] == '+' || s[i] == '-') ++i;
    std::size_t digits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        std::size_t expDigits = 0;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j, ++expDigits;
        if (expDigits == 0) return std::nullopt;
        i = j;
    }
    if (i != s.size()) return std::nullopt;
    const std::optional<double> value = FromChars(s);
    if (!value || !std::isfinite(*value)) return std::nullopt;
    return value;
}

double CDbl(std::string_view text) {
    auto v = ParseNumber(text);
    if (!v) throw RuntimeError(kErrTypeMismatch, "Type mismatch");
    return *v;
}

float CSng(std::string_view text) {
    double v = CDbl(text);
    if (std::fabs(v) > std::numeric_limits<float>::max()) throw RuntimeError(kErrOverflow, "Overflow");
    return static_cast<float>(v);
}

std::int32_t CLng(double value) {
    double r = std::nearbyint(value);  // default rounding mode: half to even
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw RuntimeError(kErrOverflow, "Overflow");
    return static_cast<std::int32_t>(r);
}

std::int32_t CLng(std::string_view text) { return CLng(CDbl(text)); }

double ParseCounter(std::string_view text) {
    double value = 0;
    switch (ReadCounter(text, value)) {
    case Counter::Ok: return value;
    case Counter::TooLarge: throw RuntimeError(kErrOverflow, "Overflow");
    case Counter::NotDigits: break;
    }
    throw RuntimeError(kErrTypeMismatch, "Type mismatch");
}

std::optional<double> CounterValue(std::string_view text) {
    double value = 0;
    if (ReadCounter(text, value) != Counter::Ok) return std::nullopt;
    return value;
}

std::size_t InStr(std::string_view haystack, std::string_view needle) {
    auto pos = haystack.find(needle);
    return pos == std::string_view::npos ? 0 : pos + 1;
}

std::size_t InStrNoCase(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return 1;
    if (needle.size() > haystack.size()) return 0;
    std::string folded(needle);
    for (char& c : folded) c = LowerAscii(c);
    const char first = folded[0];
    const std::size_t last = haystack.size() - folded.size();
    for (std::size_t i = 0; i <= last; ++i) {
        if (LowerAscii(haystack[i]) != first) continue;
        std::size_t k = 1;
        while (k < folded.size() && LowerAscii(haystack[i + k]) == folded[k]) ++k;
        if (k == folded.size()) return i + 1;
    }
    return 0;
}

std::string Mid(std::string_view s, long long start) {
    if (start < 1) throw RuntimeError(kErrInvalidProcedureCall, "Invalid procedure call or argument");
    if (static_cast<unsigned long long>(start) > s.size()) return {};
    return std::string(s.substr(static_cast<std::size_t>(start - 1)));
}

std::string Mid(std::string_view s, long long start, long long length) {
    if (length < 0) throw RuntimeError(kErrInvalidProcedureCall, "Invalid procedure call or argument");
    std::string rest = Mid(s, start);
    if (static_cast<unsigned long long>(length) < rest.size()) rest.resize(static_cast<std::size_t>(length));
    return rest;
}

std::string Left(std::string_view s, long long length) { return Mid(s, 1, length); }

}  // namespace vx
