// Number <-> text conversions with the classic runtime's rules, independent of
// the user's regional settings (the files and the router speak "." decimals).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

// Str(): one leading blank before a non-negative number, "-" before a negative
// one, up to 15 significant digits, exponent form from 1E15 up. " 0", " 1234567".
std::string Str(double value);

// The same without the sign blank (CStr of a Double in an invariant locale).
std::string NumText(double value);

// Usual numeric-text rules: surrounding blanks allowed, optional sign, digits,
// optional decimal part and exponent. Empty or anything else: no value.
std::optional<double> ParseNumber(std::string_view text);

// CDbl/CSng/CLng of a text: type mismatch (13) when not numeric, overflow (6)
// when out of range. CLng rounds half to even.
double CDbl(std::string_view text);
float CSng(std::string_view text);
std::int32_t CLng(double value);
std::int32_t CLng(std::string_view text);

// A router byte counter: a non-negative whole number of at most 2^53, with
// surrounding blanks allowed. Anything else raises type mismatch (13).
double ParseCounter(std::string_view text);
// The same rule without raising: nothing for anything that is no counter.
std::optional<double> CounterValue(std::string_view text);

// Text helpers with the runtime's semantics (1-based positions; 0 = not found).
std::size_t InStr(std::string_view haystack, std::string_view needle);
std::size_t InStrNoCase(std::string_view haystack, std::string_view needle);
// Letter case folded for the Latin letters routers use; no locale is asked,
// which keeps the searches of a tick cheap.
char LowerAscii(char c);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
// Mid$(s, start) and Mid$(s, start, length); start is 1-based. A start before 1
// or a negative length raises invalid procedure call (5).
std::string Mid(std::string_view s, long long start);
std::string Mid(std::string_view s, long long start, long long length);
std::string Left(std::string_view s, long long length);

}  // namespace vx
