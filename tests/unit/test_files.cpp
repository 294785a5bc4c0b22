// Where the program keeps its files, what it does when it cannot write them,
// and the entry that starts it at login.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "dialogs/StartUp.h"
#include "history/History.h"
#include "platform/autostart.h"
#include "platform/profile.h"
#include "tests/support/program.h"
#include "traffic/modFunctions.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

class FilesTest : public test::MonitorTest {
protected:
    std::string configFolder() const { return dir.file("xdg-config/vxstat"); }
    std::string dataFolder() const { return dir.file("xdg-data/vxstat"); }
    void Install() { S().programFolderWritable = false; }
    void SetUp() override {
        test::MonitorTest::SetUp();
        if (const char* home = std::getenv("HOME")) home_ = home;
    }
    void TearDown() override {
        ::setenv("HOME", home_.c_str(), 1);
        test::MonitorTest::TearDown();
    }

private:
    std::string home_;
};

TEST_F(FilesTest, APortableFolderKeepsTheFilesBesideTheProgram) {
    EXPECT_EQ(SettingsFile(), bootFile());
    EXPECT_EQ(StatisticsFile(), statsFile());
    EXPECT_EQ(HistoryFile(), dir.file("history.db"));
    EXPECT_NE(PathsReport().find(statsFile()), std::string::npos) << PathsReport();

    // A folder the user may not write still counts as theirs when it holds
    // either file already: an unpacked copy that was set up keeps working.
    // Its history, which needs a folder it may create files in, goes to the
    // user's data folder, and --paths says so.
    Install();
    for (const char* name : {"boot.ini", "userstats.txt"}) {
        test::WriteFile(dir.file(name), "");
        EXPECT_EQ(StatisticsFile(), statsFile()) << name;
        EXPECT_EQ(HistoryFile(), dataFolder() + "/history.db") << name;
        EXPECT_NE(PathsReport().find(dataFolder() + "/history.db"), std::string::npos) << PathsReport();
        fs::remove(dir.file(name));
    }
}

TEST_F(FilesTest, AnInstalledProgramUsesTheUsersOwnFolders) {
    Install();
    EXPECT_EQ(SettingsFile(), configFolder() + "/boot.ini");
    EXPECT_EQ(StatisticsFile(), dataFolder() + "/userstats.txt");
    EXPECT_EQ(HistoryFile(), dataFolder() + "/history.db");
    EXPECT_NE(PathsReport().find("installed"), std::string::npos) << PathsReport();

    // Relative XDG folders are invalid and fall back to the home folder's.
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    ::setenv("XDG_DATA_HOME", "", 1);
    ::setenv("HOME", dir.file("home").c_str(), 1);
    EXPECT_EQ(SettingsFile(), dir.file("home/.config/vxstat/boot.ini"));
    EXPECT_EQ(StatisticsFile(), dir.file("home/.local/share/vxstat/userstats.txt"));
}

TEST_F(FilesTest, AnInstalledProgramStartsFromTheUsersSettingsAndKeepsTheTotalsInTheirDataFolder) {
    Install();
    fs::create_directories(configFolder());
    test::WriteFile(configFolder() + "/boot.ini",
                    "[Settings]\nEnabled=True\nIP=127.0.0.5\nPassword=secret\nSpeed=2meg\n9106router=No\n");
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists()) << "the settings in the user's folder did not start monitoring";
    Tick();
    Move(4096, 1024);
    Default<frmMain>::Unload();
    const std::string stats = dataFolder() + "/userstats.txt";
    ASSERT_TRUE(test::FileExists(stats));
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", stats), "4096");
    EXPECT_EQ(ReadIniValue("TotalStats", "OutGoing", stats), "1024");
    EXPECT_FALSE(test::FileExists(statsFile())) << "nothing is written beside an installed program";
    EXPECT_TRUE(S().messageBoxes.empty());
}

TEST_F(FilesTest, AFileThatCannotBeWrittenIsToldOnceAndTheProgramGoesOn) {
    // A folder that cannot be made: its parent is a file.
    test::WriteFile(dir.file("plain"), "");
    const std::string file = dir.file("plain/userstats.txt");
    ::testing::internal::CaptureStderr();
    WriteIniValue("TotalStats", "Incoming", "1", file);
    WriteIniValue("TotalStats", "OutGoing", "2", file);
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_NE(S().messageBoxes[0].prompt.find(file), std::string::npos) << S().messageBoxes[0].prompt;
    EXPECT_NE(S().messageBoxes[0].prompt.find("Not a directory"), std::string::npos) << S().messageBoxes[0].prompt;
    EXPECT_NE(said.find(file), std::string::npos) << said;
    EXPECT_EQ(said.find(file), said.rfind(file)) << "told once: " << said;

    // A missing folder is no failure: it is made.
    const std::string deeper = dir.file("made/on/demand/userstats.txt");
    WriteIniValue("TotalStats", "Incoming", "5", deeper);
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", deeper), "5");
    EXPECT_EQ(S().messageBoxes.size(), 1u);
}

// A folder the user may not create files in, holding a file they may write:
// the write goes in place instead of being lost. Needs a user that folder
// permissions apply to, so root writes as "nobody" in a child.
TEST_F(FilesTest, AWriteThatCannotBeAtomicIsMadeInPlace) {
    const std::string folder = dir.file("locked");
    fs::create_directories(folder);
    const std::string file = folder + "/userstats.txt";
    test::WriteFile(file, "[TotalStats]\nEnabled=True\nIncoming=1\nOutGoing=2\n");
    ::chmod(file.c_str(), 0666);
    ::chmod(folder.c_str(), 0555);
    ::chmod(dir.path().c_str(), 0755);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(77);
        // Where permissions do not bind this user, there is nothing to show.
        if (::access(folder.c_str(), W_OK) == 0) ::_exit(77);
        const bool ok = platform::WritePrivateProfileStringA("TotalStats", "Incoming", "12345", file.c_str());
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(folder.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no user here that folder permissions bind";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(test::ReadFile(file), "[TotalStats]\nEnabled=True\nIncoming=12345\nOutGoing=2\n");
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename(), "userstats.txt") << "a temporary was left";
}

TEST_F(FilesTest, TemporariesOfAWriterThatDiedAreRemovedAtStart) {
    const std::string stale = statsFile() + ".0badf00d.tmp";
    const std::string fresh = statsFile() + ".12345678.tmp";
    const std::string notOurs = statsFile() + ".backup.tmp";
    for (const std::string& f : {stale, fresh, notOurs}) test::WriteFile(f, "[TotalStats]\n");
    const auto hourAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(stale, hourAgo);
    fs::last_write_time(notOurs, hourAgo);

    StartProgram();  // the dialog, which sets up the statistics file
    fake::ProcessEvents();
    EXPECT_FALSE(test::FileExists(stale));
    EXPECT_TRUE(test::FileExists(fresh)) << "a writer may still be working on it";
    EXPECT_TRUE(test::FileExists(notOurs));
}

// Two copies using one folder: the one started second keeps neither the
// totals nor the history, so nothing is counted twice or overwritten.
TEST_F(FilesTest, ASecondCopyInTheSameFolderKeepsNoTotalsAndNoHistory) {
    WriteTotals("5000", "6000");
    const std::string before = test::ReadFile(statsFile());
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t first = ::fork();
    ASSERT_GE(first, 0);
    if (first == 0) {
        std::string error;
        auto history = History::Open(HistoryFile(), {"127.0.0.5", "web"}, error);
        const char ok = KeepStatisticsFile(statsFile()) && history ? 1 : 0;
        ::close(done[1]);
        if (::write(ready[1], &ok, 1) != 1) ::_exit(1);
        char end = 0;
        while (::read(done[0], &end, 1) > 0) {
        }
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(done[0]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1) << "the first copy could not keep its files";

    StartWeb();
    Tick();
    Move(4096, 1024);
    EXPECT_EQ(FigureIn(), "4k/s") << "the second copy still shows the traffic";
    EXPECT_EQ(monitor().history(), nullptr);
    Default<frmMain>::Unload();
    EXPECT_EQ(test::ReadFile(statsFile()), before);
    ASSERT_EQ(S().messageBoxes.size(), 2u);
    EXPECT_NE(S().messageBoxes[0].prompt.find(statsFile() + ":\nanother vxstat keeps the totals"), std::string::npos)
        << S().messageBoxes[0].prompt;
    EXPECT_NE(S().messageBoxes[1].prompt.find(HistoryFile() + ":\n" + kHistoryInUse), std::string::npos)
        << S().messageBoxes[1].prompt;
    ::close(done[1]);
    ::close(ready[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(first, &status, 0), first);
}

class StartAtLoginTest : public FilesTest {
protected:
    std::string entry() const { return dir.file("xdg-config/autostart/vxstat.desktop"); }
    // The program, in a folder of that name, monitoring.
    void StartIn(const std::string& folder) {
        S().appPath = dir.file(folder);
        fs::create_directories(S().appPath);
        test::WriteFile(S().appPath + "/boot.ini",
                        "[Settings]\nEnabled=True\nIP=127.0.0.5\nPassword=secret\nSpeed=2meg\n9106router=No\n");
        StartProgram();
        fake::ProcessEvents();
        ASSERT_TRUE(Default<frmMain>::Exists());
    }
    std::optional<bool> Checked() {
        for (const auto& command : monitor().window().systemCommands())
            if (command.text == "Start at login") return command.checked;
        return std::nullopt;
    }
};

TEST_F(StartAtLoginTest, TheSystemMenuEntryAddsAndRemovesTheAutostartEntryAndShowsItsState) {
    S().appPath = dir.file("my \"odd\" $folder");
    fs::create_directories(S().appPath);
    test::WriteFile(S().appPath + "/boot.ini",
                    "[Settings]\nEnabled=True\nIP=127.0.0.5\nPassword=secret\nSpeed=2meg\n9106router=No\n");
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists());
    const auto& commands = monitor().window().systemCommands();
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(commands.back().text, "Start at login") << "after the other commands";
    EXPECT_EQ(Checked(), std::optional<bool>(false));

    ASSERT_TRUE(fake::ChooseSystemCommand(monitor().window(), "Start at login"));
    EXPECT_EQ(Checked(), std::optional<bool>(true));
    const std::string text = test::ReadFile(entry());
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Type=Application\n"), std::string::npos) << text;
    // Quoted, with the reserved characters escaped, and backslashes doubled
    // again as the value's own escapes.
    EXPECT_NE(text.find("Exec=\"" + dir.path() + "/my \\\\\"odd\\\\\" \\\\$folder/vxstat\"\n"), std::string::npos)
        << text;
    EXPECT_TRUE(platform::StartsAtLogin());

    // Changed outside the program: the menu shows it as it is when it opens.
    fs::remove(entry());
    monitor().window().onSystemMenuOpening();
    EXPECT_EQ(Checked(), std::optional<bool>(false));

    ASSERT_TRUE(fake::ChooseSystemCommand(monitor().window(), "Start at login"));
    EXPECT_TRUE(test::FileExists(entry()));
    ASSERT_TRUE(fake::ChooseSystemCommand(monitor().window(), "Start at login"));
    EXPECT_EQ(Checked(), std::optional<bool>(false));
    EXPECT_FALSE(test::FileExists(dir.file("xdg-config/autostart"))) << "removing it leaves nothing behind";
    EXPECT_TRUE(S().messageBoxes.empty());
}

TEST_F(StartAtLoginTest, AnyFolderNameIsWrittenAsAValidEntryOrRefusedWithTheReason) {
    // Every character the quoting rules reserve, a percent sign and UTF-8.
    StartIn("a b\"c`d$e\\f%g;h#i'j(k)l*m?n~o|p&q<r>s \xc3\xbc");
    ASSERT_TRUE(fake::ChooseSystemCommand(monitor().window(), "Start at login"));
    EXPECT_EQ(Checked(), std::optional<bool>(true));
    EXPECT_TRUE(S().messageBoxes.empty());
    const std::string validate = "desktop-file-validate '" + entry() + "' >&2";
    const int status = std::system(validate.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << test::ReadFile(entry());
    fs::remove(entry());
    Restart();

    // A line break would end the Exec line and start another key; a name that
    // is not UTF-8 cannot be in an entry at all. Refused, with the reason.
    for (const auto& [folder, reason] :
         {std::pair<std::string, std::string>{"line1\nExec=touch INJECTED #", "line break"},
          {"bad\xff\xfe", "not UTF-8"}}) {
        StartIn(folder);
        S().messageBoxes.clear();
        ASSERT_TRUE(fake::ChooseSystemCommand(monitor().window(), "Start at login"));
        EXPECT_EQ(Checked(), std::optional<bool>(false)) << folder;
        EXPECT_FALSE(test::FileExists(entry())) << folder;
        ASSERT_EQ(S().messageBoxes.size(), 1u) << folder;
        EXPECT_NE(S().messageBoxes[0].prompt.find(reason), std::string::npos) << S().messageBoxes[0].prompt;
        Restart();
    }

    // An entry the desktop would refuse is not shown as starting the program.
    fs::create_directories(dir.file("xdg-config/autostart"));
    for (const char* invalid :
         {"[Desktop Entry]\nType=Application\nExec=\"/opt/a%b/vxstat\"\n",
          "[Desktop Entry]\nExec=\"/opt/vxstat\"\nExec=touch INJECTED\n", "[Desktop Entry]\nExec=/opt/a;b/vxstat\n",
          "[Desktop Entry]\nExec=\"/opt/\xff\"\n", "[Other]\n[Desktop Entry]\nExec=vxstat\n"}) {
        test::WriteFile(entry(), invalid);
        EXPECT_FALSE(platform::StartsAtLogin()) << invalid;
    }
    test::WriteFile(entry(), "[Desktop Entry]\nExec=\"/opt/a%%b/vxstat\"\n");
    EXPECT_TRUE(platform::StartsAtLogin());
}

TEST_F(StartAtLoginTest, AnEntryTheUserSwitchedOffDoesNotCountAndOtherEntriesStay) {
    fs::create_directories(dir.file("xdg-config/autostart"));
    test::WriteFile(dir.file("xdg-config/autostart/other.desktop"), "[Desktop Entry]\n");
    test::WriteFile(entry(), "[Desktop Entry]\nExec=vxstat\nHidden=true\n");
    EXPECT_FALSE(platform::StartsAtLogin());
    std::string error;
    ASSERT_TRUE(platform::SetStartAtLogin(true, error)) << error;
    EXPECT_TRUE(platform::StartsAtLogin());
    ASSERT_TRUE(platform::SetStartAtLogin(false, error)) << error;
    EXPECT_FALSE(test::FileExists(entry()));
    EXPECT_TRUE(test::FileExists(dir.file("xdg-config/autostart/other.desktop")));
}

// The README's boot.ini sample, copied as it stands, starts monitoring (with
// the router's address made a loopback one).
TEST_F(FilesTest, TheReadmesBootIniSampleStartsMonitoring) {
    std::ifstream readme(VX_SOURCE_DIR "/README.md");
    ASSERT_TRUE(readme) << "README.md not found";
    std::string line;
    bool inSample = false;
    bool afterHeading = false;
    std::string sample;
    while (std::getline(readme, line)) {
        if (line.rfind("`boot.ini`", 0) == 0) afterHeading = true;
        if (afterHeading && !inSample && line == "```ini") {
            inSample = true;
        } else if (inSample && line == "```") {
            break;
        } else if (inSample) {
            sample += (line.rfind("IP=", 0) == 0 ? std::string("IP=127.0.0.5") : line) + "\n";
        }
    }
    ASSERT_NE(sample.find("Enabled=True"), std::string::npos) << "no boot.ini sample found:\n" << sample;
    test::WriteFile(bootFile(), sample);
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists()) << "the sample did not start monitoring:\n" << sample;
    Tick();
    Move(2048, 1024);
    EXPECT_EQ(FigureIn(), "2k/s");
}

}  // namespace
}  // namespace vx
