#include <gtest/gtest.h>

#include <cstdio>
#include <limits>

#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "tests/support/locale.h"

namespace vx {
namespace {

TEST(NumberText, StrPutsABlankWhereTheSignWouldStand) {
    EXPECT_EQ(Str(0), " 0");
    EXPECT_EQ(Str(-0.0), " 0");
    EXPECT_EQ(Str(1234567), " 1234567");
    EXPECT_EQ(Str(-20), "-20");
    EXPECT_EQ(Str(4294967296.0), " 4294967296");
}

TEST(NumberText, FifteenDigitsThenExponentForm) {
    EXPECT_EQ(Str(999999999999999.0), " 999999999999999");
    EXPECT_EQ(Str(1e15), " 1E+15");
    EXPECT_EQ(Str(2.5e15), " 2.5E+15");
    EXPECT_EQ(NumText(1532), "1532");
    EXPECT_EQ(NumText(-20), "-20");
}

// A total is saved as text and read back at the next start: what is written
// must read back as exactly the same number, however large.
TEST(NumberText, WhatIsWrittenReadsBackExactly) {
    EXPECT_EQ(Str(1234567890123456.0), " 1.234567890123456E+15") << "15 digits would lose the last one";
    for (double v : {1234567890123456.0, 2469135780246913.0, 9007199254740992.0, 18446744073709551616.0, 0.1, 123456.5,
                     1e300, std::numeric_limits<double>::max(), -7.25})
        EXPECT_EQ(ParseNumber(Str(v)), v) << Str(v);
}

#ifndef _WIN32
// The toolkit sets the C library's locale from the environment; under a
// comma-decimal locale the numbers in files still use ".".
TEST(NumberText, TheLocalesDecimalMarkIsNeverUsed) {
    test::CommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << "no comma-decimal locale could be made here";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_EQ(std::string(probe), "1,5") << "the locale is in force";
    EXPECT_EQ(Str(1.5), " 1.5");
    EXPECT_EQ(Str(2469135780246913.0), " 2.469135780246913E+15");
    EXPECT_EQ(ParseNumber("1.5"), 1.5);
    EXPECT_FALSE(ParseNumber("1,5"));
    EXPECT_EQ(ParseNumber(Str(2469135780246913.0)), 2469135780246913.0);
}
#endif

TEST(NumberText, ParseFollowsTheUsualNumericRules) {
    EXPECT_EQ(ParseNumber(" 0"), 0.0);
    EXPECT_EQ(ParseNumber("  1234.9  "), 1234.9);
    EXPECT_EQ(ParseNumber("-5"), -5.0);
    EXPECT_EQ(ParseNumber("1E+15"), 1e15);
    EXPECT_EQ(ParseNumber(".5"), 0.5);
    EXPECT_FALSE(ParseNumber(""));
    EXPECT_FALSE(ParseNumber("   "));
    EXPECT_FALSE(ParseNumber("12abc"));
    EXPECT_FALSE(ParseNumber("1,000"));
    EXPECT_FALSE(ParseNumber("."));
    EXPECT_FALSE(ParseNumber("1e"));
}

TEST(NumberText, ConversionErrorsCarryTheirNumbers) {
    try {
        CDbl("x");
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kErrTypeMismatch);
    }
    try {
        CLng(2147483648.0);
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kErrOverflow);
    }
    EXPECT_EQ(CLng(2147483647.0), 2147483647);
    EXPECT_EQ(CLng(2.5), 2);  // half to even
    EXPECT_EQ(CLng(3.5), 4);
    EXPECT_EQ(CLng(std::string_view(" -20 ")), -20);
}

TEST(NumberText, CountersAreWholeNumbersUpTo2Pow53) {
    EXPECT_EQ(ParseCounter("2147483648"), 2147483648.0);
    EXPECT_EQ(ParseCounter(" 4294967295 "), 4294967295.0);
    EXPECT_EQ(ParseCounter("9007199254740992"), 9007199254740992.0);
    EXPECT_THROW(ParseCounter("9007199254740993"), RuntimeError);
    EXPECT_THROW(ParseCounter("-1"), RuntimeError);
    EXPECT_THROW(ParseCounter("12.5"), RuntimeError);
    EXPECT_THROW(ParseCounter(""), RuntimeError);
    EXPECT_THROW(ParseCounter("1 2"), RuntimeError);
}

TEST(NumberText, StringFunctionsAreOneBased) {
    EXPECT_EQ(InStr("abc", "c"), 3u);
    EXPECT_EQ(InStr("abc", "C"), 0u);
    EXPECT_EQ(InStrNoCase("ab<td>", "<TD"), 3u);
    EXPECT_EQ(InStrNoCase("x</TD>", "</td>"), 2u) << "a match that ends the text";
    EXPECT_EQ(InStrNoCase("<T", "<TD"), 0u);
    EXPECT_EQ(InStrNoCase("", "<TD"), 0u);
    EXPECT_EQ(InStrNoCase("<tt<tD", "<Td"), 4u) << "a false start is passed over";
    EXPECT_EQ(InStrNoCase("rx BYTES:1", "RX bytes"), 1u);
    EXPECT_EQ(Mid("hello", 2), "ello");
    EXPECT_EQ(Mid("hello", 9), "");
    EXPECT_EQ(Mid("hello", 2, 3), "ell");
    EXPECT_EQ(Left("hello", 0), "");
    EXPECT_THROW(Mid("hello", 0), RuntimeError);
    EXPECT_THROW(Mid("hello", 1, -1), RuntimeError);
}

}  // namespace
}  // namespace vx
