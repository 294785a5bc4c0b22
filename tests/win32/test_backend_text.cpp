// The program's folder and command line, text in the ANSI code page, regional
// numbers, file deletion, and the URL taken apart for the fetch.
#include "tests/win32/support.h"
#include "platform/win32/command_line.h"
#include "platform/win32/url_parts.h"
#include "runtime/errors.h"

#include <fstream>

namespace vx::platform::win32 {
namespace {

TEST(CommandLineText, IsEverythingAfterTheProgramNameAsTyped) {
    EXPECT_EQ(ArgumentsOf(L"vxstat.exe /STATS"), L"/STATS");
    EXPECT_EQ(ArgumentsOf(L"\"C:\\Program Files\\vx\\vxstat.exe\" /STATS"), L"/STATS");
    EXPECT_EQ(ArgumentsOf(L"\"C:\\a b\\vxstat.exe\"/STATS"), L"/STATS");  // no blank needed after quotes
    EXPECT_EQ(ArgumentsOf(L"vxstat.exe    /STATS more "), L"/STATS more ");
    EXPECT_EQ(ArgumentsOf(L"vxstat.exe\t/stats"), L"/stats");
    EXPECT_EQ(ArgumentsOf(L"vxstat.exe"), L"");
    EXPECT_EQ(ArgumentsOf(L"\"C:\\vx\\vxstat.exe\""), L"");
    EXPECT_EQ(ArgumentsOf(L""), L"");
}

TEST(ProgramFolder, HoldsTheProgramAndFilesJoinWithABackslash) {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string folder(exe);
    folder.erase(folder.find_last_of('\\'));
    EXPECT_EQ(AppPath(), folder);
    EXPECT_EQ(ProgramFile("boot.ini"), folder + "\\boot.ini");
}

TEST(AnsiText, RoundTripsThroughTheCodePage) {
    EXPECT_EQ(ToAnsi("caf\xC3\xA9"), "caf\xE9");  // code page 1252 under Wine's default locale
    EXPECT_EQ(FromAnsi("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(ToAnsi("\xE2\x82\xAC"), "\x80");  // the euro sign
    EXPECT_EQ(ToAnsi("\xE4\xB8\xAD"), "?");     // not in the code page: replaced
    EXPECT_EQ(ToAnsi(""), "");
    // Telnet's command bytes survive the way in and out.
    std::string raw("\xFF\xFB\x01login: ", 10);
    EXPECT_EQ(ToAnsi(FromAnsi(raw)), raw);
}

TEST(RegionalText, FollowsTheUsersFormat) {
    // Wine's default user locale is English (United States).
    EXPECT_EQ(FormatNumber(1234567890.0 / 1024 / 1024, 2), "1,177.38");
    EXPECT_EQ(FormatNumber(1572864.0 / 1024 / 1024, 2), "1.50");
    EXPECT_EQ(FormatNumber(0, 2), "0.00");
    EXPECT_EQ(FormatNumber(-0.001, 2), "0.00");
    EXPECT_EQ(FormatNumber(-1572864.0 / 1024 / 1024, 2), "-1.50");
    EXPECT_EQ(FormatNumber(0.5, 2), "0.50");  // with the leading zero
    char date[80], time[80];
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 80);
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, 80);
    EXPECT_EQ(DateText(), date);
    // The time has its seconds: h:mm:ss and AM/PM in this locale.
    std::string t = TimeText();
    EXPECT_EQ(std::count(t.begin(), t.end(), ':'), 2) << t;
}

TEST(Files, KillDeletesAndReportsAMissingFile) {
    std::string file = ProgramFile("kill-me.txt");
    std::ofstream(file) << "x";
    Kill(file);
    EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);
    try {
        Kill(file);
        FAIL() << "no error for a missing file";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kErrFileNotFound);
    }
}

TEST(UrlParts, UserInfoReachesToTheLastAt) {
    auto p = SplitHttpUrl("http://admin:pa:ss@w/rd@127.0.0.5/statswan.cmd");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->user, "admin");
    EXPECT_EQ(p->password, "pa:ss@w/rd");
    EXPECT_EQ(p->host, "127.0.0.5");
    EXPECT_EQ(p->port, 80u);
    EXPECT_EQ(p->path, "/statswan.cmd");

    p = SplitHttpUrl("HTTP://:@127.0.0.5:8080/statswan.cmd");
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->hasUserInfo);
    EXPECT_EQ(p->user, "");
    EXPECT_EQ(p->password, "");
    EXPECT_EQ(p->port, 8080u);

    p = SplitHttpUrl("http://[::1]:81/x");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->host, "::1");
    EXPECT_EQ(p->port, 81u);

    p = SplitHttpUrl("http://127.0.0.1");
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->hasUserInfo);
    EXPECT_EQ(p->path, "/");

    EXPECT_FALSE(SplitHttpUrl("ftp://127.0.0.1/"));
    EXPECT_FALSE(SplitHttpUrl("http://user:pw@/statswan.cmd"));
    EXPECT_FALSE(SplitHttpUrl("http://127.0.0.1:99999/"));
    EXPECT_FALSE(SplitHttpUrl("http://127.0.0.1:8x/"));
}

TEST(UrlParts, Base64OfTheCredentials) {
    EXPECT_EQ(Base64("admin:secret"), "YWRtaW46c2VjcmV0");
    EXPECT_EQ(Base64("a"), "YQ==");
    EXPECT_EQ(Base64("ab"), "YWI=");
    EXPECT_EQ(Base64(""), "");
    EXPECT_EQ(Base64(std::string("\xFF\xE9", 2)), "/+k=");
    EXPECT_EQ(Base64(std::string("\xFF\xFE\x80\xE9", 4)), "//6A6Q==");  // bytes past 127 in whole groups too
}

}  // namespace
}  // namespace vx::platform::win32
