// The profile-file rules on real files, and the two wrappers over them.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>

#include "dialogs/StartUp.h"
#include "dialogs/frmLogIn.h"
#include "monitor/frmMain.h"
#include "platform/portable/profile_file.h"
#include "platform/profile.h"
#include "tests/support/program.h"
#include "traffic/modFunctions.h"

namespace vx {
namespace {

using test::NewFileText;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string Get(const std::string& file, const char* section, const char* key, const char* deflt = "Default",
                std::uint32_t size = 255) {
    std::vector<char> buffer(size + 1, 'X');
    std::uint32_t n = platform::GetPrivateProfileStringA(section, key, deflt, buffer.data(), size, file.c_str());
    EXPECT_EQ(buffer[n], '\0') << "the copied text ends with a NUL";
    return std::string(buffer.data(), n);
}

TEST(ProfileRead, SectionsAndKeysMatchWithoutRegardToCase) {
    TempDir dir;
    const std::string f = dir.file("boot.ini");
    WriteFile(f, "[Settings]\nEnabled=True\nIP = 127.0.0.5 \n[Other]\nIP=wrong\n");
    EXPECT_EQ(Get(f, "settings", "ENABLED"), "True");
    EXPECT_EQ(Get(f, "SETTINGS", "ip"), "127.0.0.5") << "surrounding blanks removed";
    EXPECT_EQ(Get(f, "Other", "IP"), "wrong");
    EXPECT_EQ(Get(f, "Settings", "Speed"), "Default") << "absent key gives the default";
    EXPECT_EQ(Get(f, "Nowhere", "IP"), "Default");
    EXPECT_EQ(Get(dir.file("missing.ini"), "Settings", "IP"), "Default");
}

TEST(ProfileRead, CrLfAndLfLinesReadAlike) {
    TempDir dir;
    const std::string f = dir.file("a.ini");
    WriteFile(f, "[TotalStats]\r\nEnabled=True\r\nIncoming= 1234567\r\n");
    EXPECT_EQ(Get(f, "TotalStats", "Enabled"), "True");
    EXPECT_EQ(Get(f, "TotalStats", "Incoming"), "1234567");
}

TEST(ProfileRead, LongValuesAreCutToTheBuffer) {
    TempDir dir;
    const std::string f = dir.file("a.ini");
    WriteFile(f, "[S]\nK=" + std::string(300, 'v') + "\n");
    EXPECT_EQ(Get(f, "S", "K").size(), 254u);
    EXPECT_EQ(ReadIniValue("S", "K", f), std::string(254, 'v'));
}

TEST(ReadIniValue, AbsentValuesAndTheWordDefaultReadAsEmpty) {
    TempDir dir;
    const std::string f = dir.file("a.ini");
    WriteFile(f, "[S]\nD=Default\nE=\nV=x\nd=default\n");
    EXPECT_EQ(ReadIniValue("S", "D", f), "");
    EXPECT_EQ(ReadIniValue("S", "E", f), "");
    EXPECT_EQ(ReadIniValue("S", "V", f), "x");
    EXPECT_EQ(ReadIniValue("S", "missing", f), "");
    EXPECT_EQ(ReadIniValue("S", "V", dir.file("none.ini")), "");
}

TEST(ProfileWrite, CreatesFileAndSectionAndKeepsTheValueAsGiven) {
    TempDir dir;
    const std::string f = dir.file("userstats.txt");
    WriteIniValue("TotalStats", "Enabled", "True", f);
    WriteIniValue("TotalStats", "Incoming", " 0", f);
    EXPECT_EQ(ReadFile(f), NewFileText("[TotalStats]\nEnabled=True\nIncoming= 0\n"));
}

TEST(ProfileWrite, ReplacesInPlaceAppendsToItsSectionAndLeavesOtherLinesAlone) {
    TempDir dir;
    const std::string f = dir.file("a.ini");
    WriteFile(f, "; kept comment\r\n[TotalStats]\r\nincoming= 5\r\nDate=1/1/2026 1:00:00 AM\r\n\r\n[Other]\r\nX=1\r\n");
    WriteIniValue("TotalStats", "Incoming", " 1234567", f);
    WriteIniValue("TotalStats", "OutGoing", " 42", f);
    WriteIniValue("Third", "Y", "2", f);
    EXPECT_EQ(ReadFile(f),
              "; kept comment\r\n[TotalStats]\r\nincoming= 1234567\r\nDate=1/1/2026 1:00:00 AM\r\nOutGoing= 42\r\n\r\n"
              "[Other]\r\nX=1\r\n[Third]\r\nY=2\r\n");
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", f), "1234567");
}

// The profile call itself makes no folders (the program's writer does, and
// tells the user when a write fails: see test_files).
TEST(ProfileWrite, AWriteIntoAMissingFolderFailsAndChangesNothing) {
    TempDir dir;
    const std::string f = dir.file("no-such-folder/userstats.txt");
    EXPECT_EQ(platform::WritePrivateProfileStringA("S", "K", "V", f.c_str()), 0);
    EXPECT_FALSE(test::FileExists(dir.file("no-such-folder")));
}

// The portable writer's own file handling, as the Linux program uses it (the
// Windows program writes with the system's profile calls).
#ifndef _WIN32
// A program that dies while saving must leave the old file whole.
TEST(ProfileWrite, AWriteThatDiesHalfWayLeavesTheOldFile) {
    TempDir dir;
    const std::string f = dir.file("userstats.txt");
    const std::string before =
        "[TotalStats]\nEnabled=True\nIncoming= 111\nOutGoing= 222\n" + std::string(4000, ';') + "\n";
    WriteFile(f, before);
    // The writer's name generator is started before the fork, so the child
    // continues the parent's sequence: the parent's next write must not
    // stumble over the name the dead child left behind.
    WriteIniValue("S", "K", "V", dir.file("other.ini"));
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::portable::g_beforeProfileRename = [](const std::string&) { ::_exit(3); };
        WriteIniValue("TotalStats", "Incoming", " 999999", f);
        ::_exit(0);  // not reached when the hook fires
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3) << "the writer died in the middle";
    EXPECT_EQ(ReadFile(f), before);
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", f), "111");
    // A later write still works and leaves a whole file.
    WriteIniValue("TotalStats", "Incoming", " 999999", f);
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", f), "999999");
    EXPECT_EQ(ReadIniValue("TotalStats", "OutGoing", f), "222");
}

TEST(ProfileWrite, KeepsTheFilesPermissionsWhateverTheUmask) {
    TempDir dir;
    const std::string f = dir.file("a.ini");
    for (auto mode : {std::filesystem::perms(0600), std::filesystem::perms(0666), std::filesystem::perms(0640)}) {
        WriteFile(f, "[S]\nK=1\n");
        std::filesystem::permissions(f, mode);
        WriteIniValue("S", "K", "2", f);
        EXPECT_EQ(std::filesystem::status(f).permissions() & std::filesystem::perms::all, mode);
        EXPECT_EQ(ReadIniValue("S", "K", f), "2");
    }
}

// A symbolic link is written through: it stays a link, its target (in
// another folder, by a relative name) gets the value and keeps its mode.
TEST(ProfileWrite, ALinkIsWrittenThroughToItsTarget) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("real"));
    const std::string target = dir.file("real/userstats.txt");
    const std::string link = dir.file("userstats.txt");
    WriteFile(target, "[TotalStats]\nIncoming= 5\n");
    std::filesystem::permissions(target, std::filesystem::perms(0660));
    std::filesystem::create_symlink("real/userstats.txt", link);
    WriteIniValue("TotalStats", "Incoming", " 77", link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(target), "[TotalStats]\nIncoming= 77\n");
    EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0660));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("real")), {}), 1) << "no temporary left";
}
#endif

// Lines the write does not touch stay byte for byte, whatever their endings.
TEST(ProfileWrite, EveryOtherLineKeepsItsOwnEnding) {
    TempDir dir;
    const std::string f = dir.file("userstats.txt");
    const std::string before = "[TotalStats]\nEnabled=True\r\r\nDate=x\r\nIncoming= 5\nOutGoing= 6\n";
    WriteFile(f, before);
    WriteIniValue("TotalStats", "Incoming", " 7", f);
#ifndef _WIN32
    EXPECT_EQ(ReadFile(f), "[TotalStats]\nEnabled=True\r\r\nDate=x\r\nIncoming= 7\nOutGoing= 6\n");
#endif
    EXPECT_EQ(ReadIniValue("TotalStats", "OutGoing", f), "6");
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", f), "7");
}
#ifndef _WIN32

#endif

#ifndef _WIN32
// Files the profile rules refuse: a FIFO (which would hold the program up
// before any window), a link to an endless device, a file far larger than
// settings are. Each is told once, read as absent and left as it is.
class OddProfileFiles : public test::ProgramTest {
protected:
    // The program starts with boot.ini made by `make`: the dialog shows its
    // defaults, nothing is monitored, and one box says why.
    void StartsWithTheDialogAndSays(const std::string& why) {
        StartProgram();
        fake::ProcessEvents();
        EXPECT_FALSE(Default<frmMain>::Exists()) << "the settings were read";
        ASSERT_TRUE(Default<frmLogIn>::Exists());
        EXPECT_EQ(Default<frmLogIn>::Get().txtIP.text(), "192.168.0.1");
        ASSERT_EQ(S().messageBoxes.size(), 1u);
        EXPECT_NE(S().messageBoxes[0].prompt.find(bootFile() + ":\n" + why), std::string::npos)
            << S().messageBoxes[0].prompt;
        EXPECT_FALSE(ReadFile(statsFile()).empty()) << "the statistics file is set up as ever";
    }
};

TEST_F(OddProfileFiles, AFifoIsNotWaitedOn) {
    ASSERT_EQ(::mkfifo(bootFile().c_str(), 0600), 0);
    StartsWithTheDialogAndSays("it is not a plain file");
    EXPECT_TRUE(std::filesystem::is_fifo(bootFile()));
}

TEST_F(OddProfileFiles, ALinkToAnEndlessDeviceIsNotRead) {
    std::filesystem::create_symlink("/dev/zero", bootFile());
    StartsWithTheDialogAndSays("it is not a plain file");
    // Nor written through.
    EXPECT_FALSE(platform::WritePrivateProfileStringA("Settings", "IP", "1", bootFile().c_str()));
    EXPECT_TRUE(std::filesystem::is_symlink(bootFile()));
}

TEST_F(OddProfileFiles, AHugeFileIsNotReadNorReplaced) {
    const std::string settings = "[Settings]\nEnabled=True\nIP=127.0.0.5\n";
    WriteFile(bootFile(), settings + std::string(platform::portable::kLargestProfile, ';') + "\n");
    std::filesystem::resize_file(bootFile(), 100 << 20);
    StartsWithTheDialogAndSays("it is larger than 64 KB");
    EXPECT_FALSE(platform::WritePrivateProfileStringA("Settings", "IP", "1", bootFile().c_str()));
    EXPECT_EQ(std::filesystem::file_size(bootFile()), 100u << 20);
    // At the limit it is read as ever.
    std::filesystem::resize_file(bootFile(), platform::portable::kLargestProfile);
    EXPECT_EQ(ReadIniValue("Settings", "IP", bootFile()), "127.0.0.5");
}

TEST_F(OddProfileFiles, AStatisticsFileThatIsAFifoIsToldOnceAndNeverWrittenOver) {
    ASSERT_EQ(::mkfifo(statsFile().c_str(), 0600), 0);
    WriteBootIni("127.0.0.5");
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists());
    Default<frmMain>::Unload();
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_NE(S().messageBoxes[0].prompt.find(statsFile()), std::string::npos) << S().messageBoxes[0].prompt;
    EXPECT_TRUE(std::filesystem::is_fifo(statsFile()));
}
#endif

TEST(Totals, StoredTextBecomesAWholeStartingValue) {
    EXPECT_EQ(TotalFromText(" 0"), 0);
    EXPECT_EQ(TotalFromText("1234.9"), 1234);
    EXPECT_EQ(TotalFromText(" 1234567"), 1234567);
    EXPECT_EQ(TotalFromText(""), 0);
    EXPECT_EQ(TotalFromText("lots"), 0);
    EXPECT_EQ(TotalFromText(" 1E+15"), 1e15);
}

}  // namespace
}  // namespace vx
