// `vxstat --history`: the table and the CSV, the billing month and quota from
// boot.ini, bad arguments, an absent or broken file, and no file written.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "history/History.h"
#include "history/HistoryCommand.h"
#include "tests/support/files.h"
#include "tests/support/history_testing.h"

namespace vx {
namespace {

using test::Cet;

// Every file of a folder with its size, and the history file's time: what
// writing one would change. (A reader's read marks in a running writer's -shm
// are no file written.)
struct Folder {
    std::map<std::string, std::uintmax_t> files;
    std::filesystem::file_time_type historyTime;
    bool operator==(const Folder&) const = default;
};
Folder Listing(const std::string& folder) {
    Folder f;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        f.files[entry.path().filename().string()] = entry.file_size();
    f.historyTime = std::filesystem::last_write_time(folder + "/history.db");
    return f;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class HistoryCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteFile(boot, "[Settings]\nIP=127.0.0.5\nMonthStart=15\nQuota=1G\n");
        std::string error;
        auto h = History::Open(file, {"127.0.0.5", "web"}, error, 15);
        ASSERT_TRUE(h) << error;
        h->keepBeforeHistory({2048, 1024});
        h->add(Cet(2026, 2, 14, 22, 10), {1048576, 2048});  // the last billing month
        h->add(Cet(2026, 2, 19, 9, 0), {3 * 1048576, 1024});
        h->add(Cet(2026, 2, 20, 11, 5), {1048576, 0});
        h->add(Cet(2026, 2, 20, 11, 6), {1048576, 512});
        ASSERT_TRUE(h->flush(error)) << error;
    }
    int Run(const std::vector<std::string>& args) {
        out.clear();
        err.clear();
        return RunHistoryCommand(args, file, boot, now, out, err);
    }

    test::CentralEuropeanTime zone;
    test::TempDir dir;
    std::string file = dir.file("history.db");
    std::string boot = dir.file("boot.ini");
    std::int64_t now = Cet(2026, 2, 20, 12, 30);
    std::string out, err;
};

TEST_F(HistoryCommandTest, CsvHasPlainByteCountsForEachDayHourAndMonth) {
    ASSERT_EQ(Run({"--history", "--csv"}), 0) << err;
    std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 31u);
    EXPECT_EQ(lines[0], "router,source,day,in_bytes,out_bytes,recovered_in_bytes,recovered_out_bytes");
    EXPECT_EQ(lines[1], "127.0.0.5,web,2026-01-22,0,0,0,0");
    EXPECT_EQ(lines[24], "127.0.0.5,web,2026-02-14,1048576,2048,0,0");
    EXPECT_EQ(lines[29], "127.0.0.5,web,2026-02-19,3145728,1024,0,0");
    EXPECT_EQ(lines[30], "127.0.0.5,web,2026-02-20,2097152,512,0,0");
    EXPECT_TRUE(err.empty());

    ASSERT_EQ(Run({"--csv", "--history", "hours"}), 0);
    lines = Lines(out);
    ASSERT_EQ(lines.size(), 25u);
    EXPECT_EQ(lines[0], "router,source,hour,in_bytes,out_bytes,recovered_in_bytes,recovered_out_bytes");
    EXPECT_EQ(lines[1], "127.0.0.5,web,2026-02-19 13:00,0,0,0,0");
    EXPECT_EQ(lines[23], "127.0.0.5,web,2026-02-20 11:00,2097152,512,0,0");
    EXPECT_EQ(lines[24], "127.0.0.5,web,2026-02-20 12:00,0,0,0,0");

    // Billing months from the 15th, as boot.ini says.
    ASSERT_EQ(Run({"--history", "months", "--csv"}), 0);
    EXPECT_EQ(out,
              "router,source,month,in_bytes,out_bytes,recovered_in_bytes,recovered_out_bytes\n"
              "127.0.0.5,web,2026-01-15,1048576,2048,0,0\n"
              "127.0.0.5,web,2026-02-15,5242880,1536,0,0\n");
}

TEST_F(HistoryCommandTest, TheTableShowsUnitsTheMonthAgainstTheQuotaAndTheTotalsBefore) {
    ASSERT_EQ(Run({"--history"}), 0) << err;
    const std::string text = out;
    const std::vector<std::string> lines = Lines(text);
    ASSERT_GE(lines.size(), 33u);
    EXPECT_EQ(lines[0], "Traffic of 127.0.0.5 (web)");
    EXPECT_EQ(lines[1], "Day                   In           Out         Total");
    EXPECT_EQ(lines[31], "2026-02-20       2.00 MB       0.50 KB       2.00 MB");
    EXPECT_NE(text.find("This month, from 2026-02-15: 5.00 MB of 1.00 GB (0 %)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Last month: 1.00 MB\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Before the history: 2.00 KB in, 1.00 KB out\n"), std::string::npos) << text;

    ASSERT_EQ(Run({"--history", "months"}), 0);
    EXPECT_NE(out.find("\n2026-02-15       5.00 MB       1.50 KB       5.00 MB\n"), std::string::npos) << out;
}

TEST_F(HistoryCommandTest, BytesRecoveredFromTheRouterHaveAColumnAndTheMonthsLine) {
    std::string error;
    auto h = History::Open(file, {"127.0.0.5", "web"}, error, 15);
    ASSERT_TRUE(h) << error;
    h->addRecovered(Cet(2026, 2, 20, 9, 0), Cet(2026, 2, 20, 11, 0), {2 * 1048576, 1024});
    ASSERT_TRUE(h->flush(error)) << error;
    h.reset();
    ASSERT_EQ(Run({"--history", "--csv", "hours"}), 0) << err;
    EXPECT_EQ(Lines(out)[21], "127.0.0.5,web,2026-02-20 09:00,1048576,512,1048576,512");
    ASSERT_EQ(Run({"--history"}), 0) << err;
    const std::vector<std::string> lines = Lines(out);
    EXPECT_EQ(lines[1], "Day                   In           Out         Total     Recovered");
    EXPECT_EQ(lines[31], "2026-02-20       4.00 MB       1.50 KB       4.00 MB       2.00 MB");
    EXPECT_EQ(lines[30], "2026-02-19       3.00 MB       1.00 KB       3.00 MB       0.00 KB");
    EXPECT_NE(out.find("\nRecovered this month (counted by the router while vxstat was not running): 2.00 MB\n"),
              std::string::npos)
        << out;
}

TEST_F(HistoryCommandTest, EveryRouterOfTheFileIsShownApart) {
    std::string error;
    auto other = History::Open(file, {"127.0.0.9", "console"}, error);
    ASSERT_TRUE(other) << error;
    other->add(Cet(2026, 2, 20, 10), {77, 7});
    ASSERT_TRUE(other->flush(error)) << error;
    ASSERT_EQ(Run({"--history", "--csv"}), 0);
    const std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 61u);
    EXPECT_EQ(lines[30], "127.0.0.5,web,2026-02-20,2097152,512,0,0");
    EXPECT_EQ(lines[60], "127.0.0.9,console,2026-02-20,77,7,0,0");
}

TEST_F(HistoryCommandTest, ReadingWritesNoFileWhetherTheProgramRunsOrNot) {
    // The program has ended: the file alone.
    auto before = Listing(dir.path());
    ASSERT_EQ(before.files.count("history.db-wal"), 0u);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--history"}, {"--history", "hours", "--csv"}, {"--history", "months"}})
        ASSERT_EQ(Run(args), 0);
    EXPECT_EQ(Listing(dir.path()), before);

    // The program runs, with its -wal and -shm: read through them, nothing added.
    std::string error;
    auto running = History::Open(file, {"127.0.0.5", "web"}, error, 15);
    ASSERT_TRUE(running) << error;
    running->add(Cet(2026, 2, 20, 12, 0), {5, 5});
    ASSERT_TRUE(running->flush(error)) << error;
    before = Listing(dir.path());
    ASSERT_EQ(before.files.count("history.db-wal"), 1u);
    ASSERT_EQ(Run({"--history", "--csv"}), 0);
    EXPECT_EQ(Lines(out).back(), "127.0.0.5,web,2026-02-20,2097157,517,0,0") << "what the -wal holds";
    EXPECT_EQ(Listing(dir.path()), before);
}

TEST(HistoryCommandFiles, AnAbsentFileIsNoFailureABrokenOneIsAndBadArgumentsGetTheUsage) {
    test::TempDir dir;
    const std::string file = dir.file("history.db"), boot = dir.file("boot.ini");
    std::string out, err;
    EXPECT_EQ(RunHistoryCommand({"--history"}, file, boot, 1771000000, out, err), 0);
    EXPECT_NE(out.find("No traffic history yet"), std::string::npos);
    out.clear();
    EXPECT_EQ(RunHistoryCommand({"--history", "--csv"}, file, boot, 1771000000, out, err), 0);
    EXPECT_EQ(out, "router,source,day,in_bytes,out_bytes,recovered_in_bytes,recovered_out_bytes\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "nothing made";

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{{"--history", "weeks"},
                                                                                     {"--history", "days", "hours"},
                                                                                     {"--csv"},
                                                                                     {"--history", "--csv", "--csv"},
                                                                                     {"--history", "-x"}}) {
        out.clear();
        err.clear();
        EXPECT_EQ(RunHistoryCommand(bad, file, boot, 1771000000, out, err), 2) << bad.back();
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(err.rfind("usage: vxstat --history", 0), 0u) << err;
    }

    test::WriteFile(file, std::string(8192, 'z'));
    out.clear();
    err.clear();
    EXPECT_EQ(RunHistoryCommand({"--history"}, file, boot, 1771000000, out, err), 1);
    EXPECT_NE(err.find(file), std::string::npos) << err;
    EXPECT_EQ(test::ReadFile(file), std::string(8192, 'z'));

    EXPECT_TRUE(IsHistoryCommand({"--history"}));
    EXPECT_TRUE(IsHistoryCommand({"/STATS", "--csv"}));
    EXPECT_FALSE(IsHistoryCommand({"/STATS"}));
    EXPECT_FALSE(IsHistoryCommand({}));
}

}  // namespace
}  // namespace vx
