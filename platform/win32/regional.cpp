// Dates, times and numbers in the user's regional format.
#include <cstdio>
#include <cwchar>

#include "platform/win32/backend.h"

namespace vx::platform {

namespace {

std::wstring LocaleText(LCTYPE what) {
    wchar_t buffer[16] = {};
    int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, what, buffer, 16);
    return n > 0 ? std::wstring(buffer) : std::wstring();
}

UINT LocaleNumber(LCTYPE what) {
    DWORD value = 0;
    GetLocaleInfoW(LOCALE_USER_DEFAULT, what | LOCALE_RETURN_NUMBER, reinterpret_cast<LPWSTR>(&value),
                   sizeof value / sizeof(wchar_t));
    return value;
}

// "3;2;0" from the locale as the number the NUMBERFMT record wants (32).
UINT Grouping(const std::wstring& pattern) {
    UINT grouping = 0;
    bool repeat = true;
    for (wchar_t c : pattern) {
        if (c >= L'1' && c <= L'9') grouping = grouping * 10 + static_cast<UINT>(c - L'0');
        if (c == L'0') repeat = false;
    }
    // "3;0" means 3 repeated (the record's 3); "3" alone means only once (30).
    if (!repeat) return grouping;
    return grouping * 10;
}

}  // namespace

std::string DateText() {
    wchar_t buffer[80];
    int n = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buffer, 80);
    return n > 0 ? win32::Utf8(buffer) : std::string();
}

std::string TimeText() {
    wchar_t buffer[80];
    int n = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, buffer, 80);  // with seconds
    return n > 0 ? win32::Utf8(buffer) : std::string();
}

std::string FormatNumber(double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 9) decimals = 9;
    wchar_t digits[400];
    std::swprintf(digits, 400, L"%.*f", decimals, value);
    // A value that rounds to zero shows no sign.
    if (digits[0] == L'-' && std::wcsspn(digits + 1, L"0.") == std::wcslen(digits + 1))
        std::wmemmove(digits, digits + 1, std::wcslen(digits));
    std::wstring decimalSep = LocaleText(LOCALE_SDECIMAL);
    std::wstring thousandSep = LocaleText(LOCALE_STHOUSAND);
    NUMBERFMTW format{};
    format.NumDigits = static_cast<UINT>(decimals);
    format.LeadingZero = LocaleNumber(LOCALE_ILZERO);
    format.Grouping = Grouping(LocaleText(LOCALE_SGROUPING));
    format.lpDecimalSep = decimalSep.data();
    format.lpThousandSep = thousandSep.data();
    format.NegativeOrder = LocaleNumber(LOCALE_INEGNUMBER);
    wchar_t buffer[512];
    int n = GetNumberFormatW(LOCALE_USER_DEFAULT, 0, digits, &format, buffer, 512);
    return n > 0 ? win32::Utf8(buffer) : win32::Utf8(digits);
}

}  // namespace vx::platform
