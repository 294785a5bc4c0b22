// The 9106 console session over the fake backend: the login steps, the
// "ifconfig" readings, the running totals and the recovery step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/StartUp.h"
#include "monitor/frmMain.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "sim_samples.h"
#include "sources/ConsoleReply.h"
#include "sources/ConsoleSource.h"
#include "tests/support/program.h"
#include "traffic/modFunctions.h"

namespace vx {
namespace {

using test::kWrongDetails;

TEST(ConsoleReply, TakesTheFiguresOfTheFirstBlockAfterThePppLine) {
    ConsoleCounterTexts t = ParseConsoleCounters(test::IfconfigReply("1000", "500"));
    EXPECT_EQ(t.rx, "1000");
    EXPECT_EQ(t.tx, "500");
    t = ParseConsoleCounters(samples::kIfconfig);
    EXPECT_EQ(CDbl(t.rx), samples::kIfconfigRx);
    EXPECT_EQ(CDbl(t.tx), samples::kIfconfigTx);
}

TEST(ConsoleReply, SearchesIgnoreLetterCase) {
    ConsoleCounterTexts t =
        ParseConsoleCounters("POINT-POINT PROTOCOL\r\n rx BYTES:12 (12.0 B)  Tx Bytes:34 (34.0 B)\r\n");
    EXPECT_EQ(t.rx, "12");
    EXPECT_EQ(t.tx, "34");
}

TEST(ConsoleReply, IncompleteRepliesAreInvalidCallsOrUnreadableFigures) {
    // No PPP line at all.
    EXPECT_THROW(ParseConsoleCounters("br0 Link encap:Ethernet\r\n RX bytes:1 (1.0 B)  TX bytes:2 (2.0 B)"),
                 RuntimeError);
    // A figure without " (" after it.
    EXPECT_THROW(ParseConsoleCounters("Point-Point Protocol\r\n RX bytes:1000\r\n"), RuntimeError);
    // Without "TX bytes" in the PPP block there is no reading, even when a
    // later interface has one.
    EXPECT_THROW(ParseConsoleCounters("Point-Point Protocol\r\n RX bytes:1000 (1.0 KiB)"), RuntimeError);
    EXPECT_THROW(ParseConsoleCounters("ppp0 Link encap:Point-Point Protocol\r\n"
                                      "     RX packets:3\r\n\r\n"
                                      "eth0 Link encap:Ethernet\r\n"
                                      "     RX bytes:1 (1.0 B)  TX bytes:2 (2.0 B)\r\n"),
                 RuntimeError);
}

// BusyBox 1.2 and later: "Point-to-Point Protocol", a name column of 9 or 15
// characters (a longer name shifts the line), continuation lines indented by
// 10 or 16 blanks, and figures past 2^32.
TEST(ConsoleReply, ReadsTheNewerBusyBoxLayouts) {
    const std::string lan =
        "br0       Link encap:Ethernet  HWaddr 00:90:4C:60:12:34  \r\n"
        "          RX bytes:111 (111.0 B)  TX bytes:222 (222.0 B)\r\n\r\n";
    const std::string narrow =
        "ppp0      Link encap:Point-to-Point Protocol  \r\n"
        "          inet addr:10.64.12.7  P-t-P:10.64.0.1  Mask:255.255.255.255\r\n"
        "          RX bytes:6442450944 (6.0 GiB)  TX bytes:1234 (1.2 KiB)\r\n\r\n";
    const std::string wide =
        "ppp1.2         Link encap:Point-to-Point Protocol  \r\n"
        "               UP POINTOPOINT RUNNING NOARP MULTICAST  MTU:1492  Metric:1\r\n"
        "               RX bytes:987654321 (941.9 MiB)  TX bytes:12345678 (11.7 MiB)\r\n\r\n";
    const std::string longName =
        "pppoe_0_38_1_long Link encap:Point-to-Point Protocol  \r\n"
        "               RX bytes:5 (5.0 B)  TX bytes:6 (6.0 B)\r\n";
    ConsoleCounterTexts t = ParseConsoleCounters(lan + narrow);
    EXPECT_EQ(t.rx, "6442450944");
    EXPECT_EQ(t.tx, "1234");
    t = ParseConsoleCounters(lan + wide + "# ");
    EXPECT_EQ(t.rx, "987654321");
    EXPECT_EQ(t.tx, "12345678");
    t = ParseConsoleCounters(lan + longName);
    EXPECT_EQ(t.rx, "5");
    EXPECT_EQ(t.tx, "6");
    // Whichever protocol text comes first is the PPP link.
    t = ParseConsoleCounters(wide + test::IfconfigReply("1", "2"));
    EXPECT_EQ(t.rx, "987654321");
}

// A peer whose failures the test chooses, recording every send attempt.
class ScriptedClient : public platform::TcpClient {
public:
    void Connect() override {
        ++connects;
        if (state != platform::SocketState::Connecting) state = platform::SocketState::Connected;
    }
    void GetData(std::string& data) override {
        if (failGet) throw RuntimeError(kErrSocketNotConnected, "not connected");
        data = std::move(incoming);
        incoming.clear();
    }
    void SendData(const std::string& data) override {
        attempts.push_back(data);
        if (failSends > 0) {
            --failSends;
            throw RuntimeError(kErrSocketNotConnected, "not connected");
        }
    }
    platform::SocketState State() override { return state; }
    void Close() override {
        ++closes;
        if (state != platform::SocketState::Connecting) state = platform::SocketState::Closed;
    }

    // Connecting: connections are never made. Closed after a refused or lost
    // one: the next Connect makes it.
    platform::SocketState state = platform::SocketState::Closed;
    int connects = 0;
    int closes = 0;
    bool failGet = false;
    int failSends = 0;
    std::string incoming;
    std::vector<std::string> attempts;
};

// The monitor started as the program starts it, in 9106 mode.
class TelnetTest : public test::MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        StartConsole("2meg", "127.0.0.6", "secret");
    }
    std::string LastSent() { return peer().sent.empty() ? "<nothing>" : peer().sent.back(); }
};

TEST_F(TelnetTest, LogsInOneLinePerTick) {
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Connecting");
    EXPECT_EQ(peer().RemoteHost, "127.0.0.6");
    // Whatever arrived first, telnet negotiation and a ">" included, is ignored.
    Say("\xff\xfb\x01\xff\xfb\x03 banner > Login: ");
    EXPECT_EQ(peer().sent, (std::vector<std::string>{"admin\r\n"}));
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent User");

    // The password goes out on the next tick whatever came back, a ">" too.
    Say("> ");
    EXPECT_EQ(LastSent(), "secret\r\n");
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent Password");

    Say("\r\nBusyBox built-in shell (ash)\r\n> ");
    EXPECT_EQ(LastSent(), "ifconfig\r\n");
    EXPECT_EQ(Caption(), "Vexlo Router Stats");
    EXPECT_EQ(peer().sent.size(), 3u);
    EXPECT_TRUE(S().messageBoxes.empty());
    EXPECT_EQ(FigureIn(), "") << "nothing read yet";

    // From now on each reply is answered with the next request; a tick
    // without a reply waits for it.
    Say("");
    EXPECT_EQ(peer().sent.size(), 3u);
    Report(1000, 1000);
    EXPECT_EQ(LastSent(), "ifconfig\r\n");
    EXPECT_EQ(peer().sent.size(), 4u);
}

TEST_F(TelnetTest, ARefusedLoginShowsTheBoxOnceAndTheLoginStartsOverAfterAPause) {
    Say("");
    Say("");
    Say("Login incorrect\r\n\r\nLogin: ");
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_EQ(S().messageBoxes[0].prompt, kWrongDetails);
    EXPECT_EQ(S().messageBoxes[0].style, 16);
    EXPECT_EQ(S().messageBoxes[0].title, "Problem");
    EXPECT_EQ(peer().sent.size(), 2u) << "nothing more is sent with the box";
    EXPECT_EQ(peer().state, platform::SocketState::Closed) << "the session is given up";

    // A pause of a tick, then a new connection and the login from the start.
    Say("");
    EXPECT_EQ(peer().connectCalls, 2);
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Connecting");
    Say("Login: ");
    EXPECT_EQ(LastSent(), "admin\r\n");
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent User");
    EXPECT_EQ(S().messageBoxes.size(), 1u);
}

TEST_F(TelnetTest, ASlowPromptIsNoWrongPassword) {
    Say("");
    Say("");
    // A busy router: four ticks without an answer, then the prompt.
    for (int i = 0; i < ConsoleSource::kPromptTicks - 1; ++i) Say("");
    Say("\r\nBusyBox built-in shell (ash)\r\n> ");
    EXPECT_TRUE(S().messageBoxes.empty());
    EXPECT_EQ(Caption(), "Vexlo Router Stats");
    EXPECT_EQ(LastSent(), "ifconfig\r\n");
}

TEST_F(TelnetTest, NoPromptAtAllIsAWrongPasswordAfterAFewTicks) {
    Say("");
    Say("");
    for (int i = 0; i < ConsoleSource::kPromptTicks - 1; ++i) Say(i == 0 ? "\r\n" : "");
    EXPECT_TRUE(S().messageBoxes.empty());
    Say("");
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_EQ(S().messageBoxes[0].prompt, kWrongDetails);
}

// Monitors in 9106 mode started by the test itself.
class TelnetStartTest : public test::MonitorTest {
protected:
    std::string LastSent() { return peer().sent.empty() ? "<nothing>" : peer().sent.back(); }
};

TEST_F(TelnetStartTest, ReadingsGiveRatesAndGrowTheTotalsFromTheSecondOn) {
    WriteTotals("10000", "20000");
    StartConsole();
    ASSERT_NO_FATAL_FAILURE(LogIn());

    // The first reading is the baseline: neither shown nor added.
    Report(1000000, 500000);
    EXPECT_EQ(FigureIn(), "");
    EXPECT_EQ(FigureOut(), "");
    EXPECT_EQ(LastSent(), "ifconfig\r\n");
    EXPECT_EQ(SavedTotals(), std::make_pair(std::string("10000"), std::string("20000")));

    Report(1000000 + 5120, 500000 + 2048);
    EXPECT_EQ(FigureIn(), "5k/s");
    EXPECT_EQ(FigureOut(), "2k/s");
    EXPECT_EQ(BarIn(), 5120);
    EXPECT_EQ(SavedTotals(), std::make_pair(std::string("15120"), std::string("22048")));

    // Nothing received, something sent: the sent bytes still count.
    Report(1000000 + 5120, 500000 + 3072);
    EXPECT_EQ(FigureIn(), "0k/s");
    EXPECT_EQ(FigureOut(), "1k/s");
    EXPECT_EQ(SavedTotals(), std::make_pair(std::string("15120"), std::string("23072")));

    // One direction went back, and not by a wrap the line could make: the
    // router restarted. Nothing is shown or added; the reading is the new baseline.
    Report(1000000 + 6144, 100);
    EXPECT_EQ(FigureIn(), "0k/s");
    EXPECT_EQ(FigureOut(), "1k/s");
    EXPECT_EQ(SavedTotals(), std::make_pair(std::string("15120"), std::string("23072")));
    Report(1000000 + 6144 + 1024, 150);
    EXPECT_EQ(FigureIn(), "1k/s");
    EXPECT_EQ(SavedTotals(), std::make_pair(std::string("16144"), std::string("23122")));

    // A wrap of a 32-bit counter is counted.
    Report(4294967296.0 - 1000, 150);
    Report(3000, 150 + 1024);
    EXPECT_EQ(FigureIn(), "3k/s");
    EXPECT_EQ(BarIn(), 4000);

    // Closing saves them too.
    monitor().window().userCloseRequested();
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "20144");
    EXPECT_EQ(ReadIniValue("TotalStats", "OutGoing", statsFile()), "24146");
}

TEST_F(TelnetTest, CountersBeyond32BitsReadExactly) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    Say(std::string(samples::kIfconfig));  // 3000000123 and 1234567
    // 1.3 GB in a second is more than the line carries: a new baseline, not a rate.
    Report(4294967296.0 - 1000, 4294967296.0);
    EXPECT_EQ(FigureIn(), "");
    Report(4294967296.0 + 24, 4294967296.0 + 2048);
    EXPECT_EQ(FigureIn(), "1k/s");
    EXPECT_EQ(FigureOut(), "2k/s");
    EXPECT_EQ(BarIn(), 1024);
    EXPECT_EQ(SavedTotals(), std::make_pair(std::string("1024"), std::string("2048")));
}

TEST_F(TelnetTest, AGarbledReplyAsksForAFreshOneAndChangesNothing) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    double counter = 1000000;
    Report(counter, 500000);
    counter += 2048;
    Report(counter, 500000 + 1024);

    const std::vector<std::string> garbled = {
        "ifconfig\r\nbr0 Link encap:Ethernet\r\n RX bytes:5 (5",                   // cut before the PPP block
        "Point-Point Protocol\r\n RX bytes:9000 (9.0 KiB)  TX bytes:9000",         // no " (" after TX
        "Point-Point Protocol\r\n RX bytes:many (lots)  TX bytes:9000 (9.0 KiB)",  // not a number
        "Point-Point Protocol\r\n TX bytes:9000 (9.0 KiB)",                        // no RX bytes
    };
    for (const std::string& reply : garbled) {
        const auto totals = SavedTotals();
        const std::size_t sent = peer().sent.size();
        Say(reply);
        EXPECT_EQ(peer().sent.size(), sent + 1) << reply;
        EXPECT_EQ(LastSent(), "ifconfig\r\n") << reply;
        EXPECT_EQ(FigureIn(), "2k/s") << reply;
        EXPECT_EQ(SavedTotals(), totals) << reply;
        // The next good reading counts from the last good one.
        counter += 2048;
        Report(counter, 500000 + 1024);
        EXPECT_EQ(FigureIn(), "2k/s") << reply;
        EXPECT_EQ(FigureOut(), "0k/s") << reply;
    }
    EXPECT_TRUE(S().messageBoxes.empty());
}

TEST_F(TelnetTest, NothingHappensUntilTheConnectionIsThere) {
    peer().state = platform::SocketState::Connecting;
    Say("Login: ");
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Connecting");
    EXPECT_TRUE(peer().sent.empty());
    EXPECT_TRUE(S().messageBoxes.empty());
    // Once the connection is there, the login starts from the beginning.
    peer().state = platform::SocketState::Connected;
    Say("Login: ");
    EXPECT_EQ(LastSent(), "admin\r\n");
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent User");
}

TEST_F(TelnetTest, NoSecondBoxWhileOneIsOpen) {
    Say("");
    Say("");
    int ticksWhileOpen = 0;
    S().onMessageBox = [&](const fake::MessageBoxCall&) {
        for (int i = 0; i < 3; ++i, ++ticksWhileOpen) Say("Login: ");
    };
    Say("Login incorrect\r\n");
    EXPECT_EQ(ticksWhileOpen, 3);
    EXPECT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_EQ(peer().connectCalls, 2) << "the console is tried again under the box";
    EXPECT_EQ(peer().sent, (std::vector<std::string>{"admin\r\n", "secret\r\n", "admin\r\n", "secret\r\n"}));
}

TEST_F(TelnetTest, TheMonitorClosedWhileTheBoxIsOpenHangsUpAndSendsNothing) {
    Say("");
    Say("");
    S().onMessageBox = [&](const fake::MessageBoxCall&) { monitor().window().userCloseRequested(); };
    fake::FakeTcpClient& connection = peer();
    frmMain& m = monitor();
    Say("Login incorrect\r\n");
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_EQ(connection.state, platform::SocketState::Closed);
    EXPECT_EQ(connection.sent.size(), 2u);
    EXPECT_FALSE(S().tray.shown);
    EXPECT_TRUE(S().quitRequested);
    EXPECT_EQ(m.window().caption(), "Vexlo Router Stats - Sent Password");
    EXPECT_EQ(connection.connectCalls, 1) << "no new connection for a closed monitor";
    fake::ProcessEvents();
}

// The console source with a peer whose failures the test chooses.
class ConsoleRecovery : public ::testing::Test {
protected:
    void SetUp() override {
        test::ResetProgram();
        auto c = std::make_unique<ScriptedClient>();
        client = c.get();
        source = std::make_unique<ConsoleSource>("admin", "secret", "127.0.0.6", std::move(c));
        statuses.push_back(source->status());
    }
    void TearDown() override { test::ResetProgram(); }
    std::optional<Reading> Poll(const std::string& received = "") {
        client->incoming = received;
        std::optional<Reading> reading = source->poll();
        if (source->status() != statuses.back()) statuses.push_back(source->status());
        return reading;
    }
    void LogIn() {
        Poll();
        Poll();
        Poll("> ");
        ASSERT_EQ(source->login(), ConsoleLogin::Console);
    }
    ScriptedClient* client = nullptr;
    std::unique_ptr<ConsoleSource> source;
    std::vector<std::string> statuses;
};

TEST_F(ConsoleRecovery, ConnectsAtOnceToPort23AndLetsGoOnClose) {
    EXPECT_EQ(client->connects, 1);
    EXPECT_EQ(client->RemoteHost, "127.0.0.6");
    EXPECT_EQ(client->RemotePort, 23);
    ASSERT_NO_FATAL_FAILURE(LogIn());
    EXPECT_EQ(statuses, (std::vector<std::string>{"Connecting", "Sent User", "Sent Password", ""}));
    source->close();
    EXPECT_EQ(client->closes, 1);
    client->attempts.clear();
    for (int i = 0; i < 40; ++i) EXPECT_FALSE(Poll(test::IfconfigReply(1, 2)));
    EXPECT_TRUE(client->attempts.empty()) << "a closed source sends nothing";
    EXPECT_EQ(client->connects, 1) << "and never connects again";
}

TEST_F(ConsoleRecovery, AFailedSendGivesUpTheSessionButKeepsTheReadingItAnswered) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    client->failSends = 1;
    const auto reading = Poll(test::IfconfigReply(1000, 500));
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->bytesIn, 1000);
    EXPECT_TRUE(reading->firstOfSession);
    EXPECT_EQ(client->closes, 1);
    EXPECT_EQ(source->login(), ConsoleLogin::Pause);
}

TEST_F(ConsoleRecovery, ALostSessionIsMadeAgainAfterPausesThatDoubleUpToHalfAMinute) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_TRUE(Poll(test::IfconfigReply(1000, 500)));
    // The router drops the session, and then refuses new ones.
    std::vector<int> pauses;
    for (int attempt = 0; attempt < 7; ++attempt) {
        client->state = platform::SocketState::Closed;
        const int connects = client->connects;
        int ticks = 0;
        while (client->connects == connects && ticks < 100) {
            Poll();
            ++ticks;
        }
        pauses.push_back(ticks - 1);  // the tick that found it closed is no pause
        EXPECT_EQ(statuses.back(), "Connecting");
    }
    EXPECT_EQ(pauses, (std::vector<int>{1, 2, 4, 8, 16, 30, 30}));

    // It comes back: a reading starts the pauses from one tick again.
    client->state = platform::SocketState::Connected;
    Poll();
    Poll();
    Poll("> ");
    const auto first = Poll(test::IfconfigReply(77, 88));
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->firstOfSession) << "a new session's first reading is only a baseline";
    const auto second = Poll(test::IfconfigReply(79, 88));
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->firstOfSession);
    client->state = platform::SocketState::Closed;
    Poll();
    const int connects = client->connects;
    Poll();
    EXPECT_EQ(client->connects, connects + 1);
}

TEST_F(ConsoleRecovery, ASilentConsoleOrAConnectionThatNeverComesIsGivenUp) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    for (int i = 0; i < ConsoleSource::kSilentTicks - 1; ++i) Poll();
    EXPECT_EQ(client->closes, 0);
    Poll();
    EXPECT_EQ(client->closes, 1) << "ten ticks without a reply to the command";

    Poll();  // the pause
    ASSERT_EQ(client->connects, 2);
    client->state = platform::SocketState::Connecting;  // nobody answers the connection
    for (int i = 0; i < ConsoleSource::kSilentTicks; ++i) Poll();
    EXPECT_EQ(client->closes, 2);
}

TEST_F(ConsoleRecovery, AConsoleThatLiesGivesNoReadingAndIsAskedAgain) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    client->attempts.clear();
    const std::string huge(309, '9');
    for (const std::string& rx : {huge, std::string("1e300"), std::string("-5"), std::string("12.5")})
        EXPECT_FALSE(Poll(test::IfconfigReply(rx, "100"))) << rx;
    EXPECT_EQ(client->attempts.size(), 4u) << "each lie is answered with a fresh request";
    EXPECT_EQ(client->closes, 0);
}

TEST_F(TelnetStartTest, ADeadConnectionIsMadeAgainAndTheDisplaySaysTheRouterDoesNotAnswer) {
    ScriptedClient* client = nullptr;
    int made = 0;
    S().tcpFactory = [&] {
        auto c = std::make_unique<ScriptedClient>();
        client = c.get();
        ++made;
        return c;
    };
    WriteBootIni("127.0.0.6", "2meg", true);
    StartProgram();
    ASSERT_NE(client, nullptr);
    client->failGet = true;
    EXPECT_NO_THROW(Tick());
    EXPECT_EQ(client->closes, 1);
    for (int i = 0; i < 4; ++i) EXPECT_NO_THROW(Tick());
    EXPECT_EQ(made, 1) << "one connection, made again";
    EXPECT_GE(client->connects, 2);
    EXPECT_EQ(Caption(), "Vexlo Router Stats - The router does not answer");
    EXPECT_EQ(FigureIn(), "--");
    EXPECT_EQ(Level(), 0);
    EXPECT_TRUE(S().messageBoxes.empty());
}

TEST_F(TelnetStartTest, AfterADroppedSessionTheTotalsGrowByExactlyTheTrafficSince) {
    WriteTotals("0", "0");
    StartConsole();
    ASSERT_NO_FATAL_FAILURE(LogIn());
    Report(1000000, 1000000);
    Report(1000000 + 4096, 1000000 + 1024);
    EXPECT_EQ(SavedTotals(), std::make_pair(std::string("4096"), std::string("1024")));
    // The router drops the session; it counted on meanwhile.
    peer().state = platform::SocketState::Closed;
    Tick();
    Tick();  // the pause, then a new connection
    ASSERT_EQ(peer().connectCalls, 2);
    ASSERT_NO_FATAL_FAILURE(LogIn());
    Report(1000000 + 50000, 1000000 + 9000);  // only a baseline
    EXPECT_EQ(SavedTotals(), std::make_pair(std::string("4096"), std::string("1024")));
    Report(1000000 + 50000 + 2048, 1000000 + 9000 + 512);
    EXPECT_EQ(SavedTotals(), std::make_pair(std::string("6144"), std::string("1536")));
    EXPECT_EQ(FigureIn(), "2k/s");
}

}  // namespace
}  // namespace vx
