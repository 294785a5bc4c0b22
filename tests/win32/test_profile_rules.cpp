// The profile-file rules, given to our portable implementation and to the
// system's GetPrivateProfileStringA/WritePrivateProfileStringA alike: what they
// read must agree. Where the files they write differ, the tests say how.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/portable/profile_file.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

namespace vx::platform {
namespace {

struct Implementation {
    const char* name;
    std::uint32_t (*get)(const char*, const char*, const char*, char*, std::uint32_t, const char*);
    bool (*put)(const char*, const char*, const char*, const char*);
};

const Implementation kPortable{"portable", portable::GetString, portable::WriteString};
const Implementation kSystem{"system", GetPrivateProfileStringA, WritePrivateProfileStringA};

class Folder {
public:
    Folder() {
        std::mt19937_64 rng{std::random_device{}()};
        path_ = std::filesystem::temp_directory_path() / ("vxstat-profile-" + std::to_string(rng()));
        std::filesystem::create_directories(path_);
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    // A new name for every file: the system keeps profile files in a cache.
    std::string newFile() {
        std::string name = std::to_string(++count_);
        name += ".ini";
        return (path_ / name).string();
    }

private:
    std::filesystem::path path_;
    int count_ = 0;
};

std::string Contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Put(const std::string& file, const std::string& contents) { std::ofstream(file, std::ios::binary) << contents; }

std::string Read(const Implementation& impl, const std::string& file, const char* section, const char* key,
                 std::uint32_t size = 255) {
    std::string buffer(size, '\0');
    std::uint32_t n = impl.get(section, key, "Default", buffer.data(), size, file.c_str());
    return buffer.substr(0, n);
}

struct ReadCase {
    const char* what;
    const char* contents;  // nullptr: no file at all
    const char* section;
    const char* key;
    std::string expected;
};

class ProfileRules : public ::testing::Test {
protected:
    Folder folder;
};

TEST_F(ProfileRules, BothImplementationsReadTheSame) {
    const ReadCase cases[] = {
        {"missing file", nullptr, "Settings", "IP", "Default"},
        {"plain value", "[Settings]\r\nIP=10.0.0.1\r\n", "Settings", "IP", "10.0.0.1"},
        {"names in any case", "[settings]\r\nip=1\r\n", "SETTINGS", "Ip", "1"},
        {"blanks around the value", "[S]\r\nK =   v a l   \r\n", "S", "K", "v a l"},
        {"nothing after =", "[S]\r\nK=\r\n", "S", "K", ""},
        {"the word Default", "[S]\r\nK=Default\r\n", "S", "K", "Default"},
        {"missing key", "[S]\r\nL=1\r\n", "S", "K", "Default"},
        {"key of another section", "[A]\r\nK=1\r\n[B]\r\nX=2\r\n", "B", "K", "Default"},
        {"LF line ends", "[S]\nK=lf\n", "S", "K", "lf"},
        {"comment line", "[S]\r\n;K=commented\r\nK=real\r\n", "S", "K", "real"},
        {"first of two keys", "[S]\r\nK=first\r\nK=second\r\n", "S", "K", "first"},
        {"= inside the value", "[S]\r\nK=a=b\r\n", "S", "K", "a=b"},
        {"value in quotes", "[S]\r\nK=\"q v\"\r\n", "S", "K", "q v"},
        {"indented lines", "  [S]  \r\n  K=v\r\n", "S", "K", "v"},
        {"no line end at the end", "[S]\r\nK=end", "S", "K", "end"},
        {"leading blank of a total", "[TotalStats]\r\nIncoming= 1234567\r\n", "TotalStats", "Incoming", "1234567"},
    };
    for (const ReadCase& c : cases) {
        for (const Implementation* impl : {&kPortable, &kSystem}) {
            std::string file = folder.newFile();
            if (c.contents) Put(file, c.contents);
            EXPECT_EQ(Read(*impl, file, c.section, c.key), c.expected) << impl->name << ": " << c.what;
        }
    }
}

TEST_F(ProfileRules, LongValuesAreCutToTheBuffer) {
    const std::string stored(300, 'x');
    for (const Implementation* impl : {&kPortable, &kSystem}) {
        std::string file = folder.newFile();
        Put(file, "[S]\r\nK=" + stored + "\r\n");
        EXPECT_EQ(Read(*impl, file, "S", "K"), std::string(254, 'x')) << impl->name;
    }
}

TEST_F(ProfileRules, WritesReadBackTheSame) {
    for (const Implementation* impl : {&kPortable, &kSystem}) {
        SCOPED_TRACE(impl->name);
        // Created with its section when missing.
        std::string fresh = folder.newFile();
        EXPECT_TRUE(impl->put("TotalStats", "Incoming", " 0", fresh.c_str()));
        EXPECT_EQ(Read(*impl, fresh, "TotalStats", "Incoming"), "0");

        // Replaced in place, the other keys kept.
        std::string existing = folder.newFile();
        Put(existing, "[S]\r\nK=old\r\nL=keep\r\n");
        impl->put("S", "K", "new", existing.c_str());
        EXPECT_EQ(Read(*impl, existing, "S", "K"), "new");
        EXPECT_EQ(Read(*impl, existing, "S", "L"), "keep");

        // A new key lands in its own section, not in the one after it.
        std::string two = folder.newFile();
        Put(two, "[A]\r\nX=1\r\n\r\n[B]\r\nY=2\r\n");
        impl->put("A", "Z", "3", two.c_str());
        EXPECT_EQ(Read(*impl, two, "A", "Z"), "3");
        EXPECT_EQ(Read(*impl, two, "B", "Z"), "Default");
        EXPECT_EQ(Read(*impl, two, "B", "Y"), "2");

        // A key written in another letter case replaces the stored one.
        std::string cased = folder.newFile();
        Put(cased, "[TotalStats]\r\nIncoming= 5\r\n");
        impl->put("TOTALSTATS", "INCOMING", " 6", cased.c_str());
        EXPECT_EQ(Read(*impl, cased, "TotalStats", "Incoming"), "6");
        std::string text = Contents(cased);
        EXPECT_EQ(text.find("5"), std::string::npos) << text;
    }
}

// The statistics file as the first start writes it.
std::string FirstStart(const Implementation& impl, const std::string& file) {
    impl.put("TotalStats", "Enabled", "True", file.c_str());
    impl.put("TotalStats", "Date", "12/8/2026 9:05:03 AM", file.c_str());
    impl.put("TotalStats", "Incoming", " 0", file.c_str());
    impl.put("TotalStats", "OutGoing", " 0", file.c_str());
    return Contents(file);
}

TEST_F(ProfileRules, TheSystemDropsTheLeadingBlankOfAValue) {
    // Windows keeps " 0"; Wine's kernel32 trims the blank when it writes. Read
    // back, both give "0", so the totals come out the same.
    EXPECT_EQ(FirstStart(kPortable, folder.newFile()),
              "[TotalStats]\r\nEnabled=True\r\nDate=12/8/2026 9:05:03 AM\r\nIncoming= 0\r\nOutGoing= 0\r\n");
    EXPECT_EQ(FirstStart(kSystem, folder.newFile()),
              "[TotalStats]\r\nEnabled=True\r\nDate=12/8/2026 9:05:03 AM\r\nIncoming=0\r\nOutGoing=0\r\n");
}

TEST_F(ProfileRules, TheSystemRewritesTheWholeFile) {
    // Ours changes only the line of the key; Wine writes every line anew in
    // its own form.
    const std::string before = "[S]\r\n  Other =  spaced  \r\nK=1\r\n";
    std::string mine = folder.newFile(), system = folder.newFile();
    Put(mine, before);
    Put(system, before);
    kPortable.put("S", "K", "2", mine.c_str());
    kSystem.put("S", "K", "2", system.c_str());
    EXPECT_EQ(Contents(mine), "[S]\r\n  Other =  spaced  \r\nK=2\r\n");
    EXPECT_EQ(Contents(system), "[S]\r\nOther=spaced\r\nK=2\r\n");
    EXPECT_EQ(Read(kPortable, mine, "S", "Other"), Read(kSystem, system, "S", "Other"));
}

TEST_F(ProfileRules, TextGoesToTheFileInTheAnsiCodePage) {
    // The program holds UTF-8; the file holds the code page's bytes (1252 here).
    std::string file = folder.newFile();
    kSystem.put("Settings", "Password", "caf\xC3\xA9", file.c_str());
    EXPECT_NE(Contents(file).find("Password=caf\xE9\r\n"), std::string::npos) << Contents(file);
    EXPECT_EQ(Read(kSystem, file, "Settings", "Password"), "caf\xC3\xA9");
}

}  // namespace
}  // namespace vx::platform
