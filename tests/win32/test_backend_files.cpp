// The user's folders, the program folder's test, and the Run key that starts
// the program at login.
#include "tests/win32/support.h"
#include "platform/app.h"
#include "platform/autostart.h"

#include <shlobj.h>

namespace vx::platform {
namespace {

std::wstring RunValue() {
    wchar_t value[1024] = {};
    DWORD bytes = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"vxstat", RRF_RT_REG_SZ,
                     nullptr, value, &bytes) != ERROR_SUCCESS)
        return L"<none>";
    return value;
}

TEST(UserFolders, AreTheProgramsFolderInTheRoamingApplicationData) {
    wchar_t appData[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)));
    EXPECT_EQ(UserConfigFolder(), win32::Utf8(appData) + "\\vxstat");
    EXPECT_EQ(UserDataFolder(), UserConfigFolder());
    // The test's own folder is writable, and the probe leaves nothing behind.
    EXPECT_TRUE(ProgramFolderIsWritable());
    EXPECT_FALSE(FileExists(AppPath() + "\\vxstat-write-probe.tmp"));
    const std::string made = AppPath() + "\\made\\on\\demand";
    EXPECT_TRUE(MakeFolder(made));
    EXPECT_TRUE(FileExists(made));
    EXPECT_TRUE(MakeFolder(made)) << "an existing folder is no failure";
    RemoveDirectoryW(win32::Widen(made).c_str());
    RemoveDirectoryW(win32::Widen(AppPath() + "\\made\\on").c_str());
    RemoveDirectoryW(win32::Widen(AppPath() + "\\made").c_str());
}

TEST(StartAtLogin, TheRunKeyValueNamesTheProgramQuotedAndGoesAgainWithoutATrace) {
    std::string error;
    ASSERT_TRUE(SetStartAtLogin(false, error)) << error;
    EXPECT_FALSE(StartsAtLogin());
    ASSERT_TRUE(SetStartAtLogin(true, error)) << error;
    EXPECT_TRUE(StartsAtLogin());
    EXPECT_EQ(RunValue(), L"\"" + win32::Widen(ProgramExecutable()) + L"\"");
    ASSERT_TRUE(SetStartAtLogin(false, error)) << error;
    EXPECT_FALSE(StartsAtLogin());
    EXPECT_EQ(RunValue(), L"<none>");
    EXPECT_TRUE(SetStartAtLogin(false, error)) << "removing twice is no failure: " << error;
}

}  // namespace
}  // namespace vx::platform
