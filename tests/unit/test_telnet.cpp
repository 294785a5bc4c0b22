// The 9106 console session over the fake backend: the login steps, the
// "ifconfig" readings, the running totals and the recovery step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/frmLogIn.h"
#include "monitor/frmMain.h"
#include "sources/ConsoleReply.h"
#include "sources/ConsoleSource.h"
#include "traffic/modFunctions.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "sim_samples.h"
#include "tests/support/program.h"

namespace vx {
namespace {

using test::kWrongDetails;

// An "ifconfig" reply in the usual layout: another interface first, then
// the PPP link, then one more.
std::string Reply(const std::string& rx, const std::string& tx) {
    return "ifconfig\r\n"
           "br0       Link encap:Ethernet  HWaddr 00:90:4C:60:12:34\r\n"
           "          RX bytes:111 (111.0 B)  TX bytes:222 (222.0 B)\r\n\r\n"
           "ppp0      Link encap:Point-Point Protocol\r\n"
           "          inet addr:10.64.12.7  P-t-P:10.64.0.1  Mask:255.255.255.255\r\n"
           "          RX bytes:" + rx + " (1.0 KiB)  TX bytes:" + tx + " (0.5 KiB)\r\n\r\n"
           "nas_0_38  Link encap:Ethernet\r\n"
           "          RX bytes:333 (333.0 B)  TX bytes:444 (444.0 B)\r\n\r\n> ";
}

TEST(ConsoleReply, TakesTheFiguresOfTheFirstBlockAfterThePppLine) {
    ConsoleCounterTexts t = ParseConsoleCounters(Reply("1000", "500"));
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
    // Without "TX bytes" the text is taken from the ninth character on: no number.
    ConsoleCounterTexts t = ParseConsoleCounters("Point-Point Protocol\r\n RX bytes:1000 (1.0 KiB)");
    EXPECT_EQ(t.rx, "1000");
    EXPECT_FALSE(ParseNumber(t.tx));
}

// A peer whose failures the test chooses, recording every send attempt.
class ScriptedClient : public platform::TcpClient {
public:
    void Connect() override { ++connects; }
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
    platform::SocketState State() override { return platform::SocketState::Connected; }
    void Close() override {}

    int connects = 0;
    bool failGet = false;
    int failSends = 0;
    std::string incoming;
    std::vector<std::string> attempts;
};

// The monitor started as the program starts it, in 9106 mode.
class TelnetTest : public test::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        WriteBootIni("127.0.0.6", "2meg", true, "secret");
        StartProgram();
        ASSERT_TRUE(Default<frmMain>::Exists());
        ASSERT_NE(S().lastTcpClient, nullptr);
    }

    frmMain& monitor() { return Default<frmMain>::Get(); }
    fake::FakeTcpClient& peer() { return *S().lastTcpClient; }
    std::string Caption() { return monitor().window().caption(); }
    void Tick(const std::string& received = "") {
        peer().incoming = received;
        monitor().Timer.tick();
    }
    std::string LastSent() { return peer().sent.empty() ? "<nothing>" : peer().sent.back(); }
    void LogIn() {
        Tick("\xff\xfb\x01\r\nLogin: ");
        Tick("admin\r\nPassword: ");
        Tick("\r\nBusyBox built-in shell (ash)\r\n> ");
        ASSERT_EQ(strTelnetState, "Console");
    }
};

TEST_F(TelnetTest, LogsInOneLinePerTick) {
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Connecting");
    // Whatever arrived first, telnet negotiation and a ">" included, is ignored.
    Tick("\xff\xfb\x01\xff\xfb\x03 banner > Login: ");
    EXPECT_EQ(peer().sent, (std::vector<std::string>{"admin\r\n"}));
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent User");
    EXPECT_EQ(strTelnetState, "NeedToSendPassword");

    // The password goes out on the next tick whatever came back, a ">" too.
    Tick("> ");
    EXPECT_EQ(LastSent(), "secret\r\n");
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent Password");

    Tick("\r\nBusyBox built-in shell (ash)\r\n> ");
    EXPECT_EQ(LastSent(), "ifconfig\r\n");
    EXPECT_EQ(Caption(), "Vexlo Router Stats");
    EXPECT_EQ(strTelnetState, "Console");
    EXPECT_EQ(peer().sent.size(), 3u);
    EXPECT_TRUE(S().messageBoxes.empty());
    // Nothing was read yet: the labels are untouched.
    EXPECT_EQ(monitor().lblIncoming.caption(), "");
}

TEST_F(TelnetTest, NoPromptAfterThePasswordShowsTheBoxEveryTickUntilOneComes) {
    Tick();
    Tick();
    Tick("Login incorrect\r\n\r\nLogin: ");
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_EQ(S().messageBoxes[0].prompt, kWrongDetails);
    EXPECT_EQ(S().messageBoxes[0].style, 16);
    EXPECT_EQ(S().messageBoxes[0].title, "Problem");
    EXPECT_EQ(LastSent(), "");  // the empty text is still sent
    EXPECT_EQ(strTelnetState, "SentPasswordNeedConfirm");
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent Password");

    Tick("");
    EXPECT_EQ(S().messageBoxes.size(), 2u);

    Tick("> ");
    EXPECT_EQ(S().messageBoxes.size(), 2u);
    EXPECT_EQ(strTelnetState, "Console");
}

TEST_F(TelnetTest, ReadingsGiveRatesAndGrowTheTotalsFromTheSecondOn) {
    dblTotalIncoming = 10000;
    dblTotalOutgoing = 20000;
    LogIn();

    // The first reading is the baseline: shown, not added.
    Tick(Reply("1000", "500"));
    EXPECT_EQ(monitor().lblIncoming.caption(), "1000");
    EXPECT_EQ(monitor().lblOutgoing.caption(), "500");
    EXPECT_TRUE(blnHaveBaseline);
    EXPECT_EQ(dblTotalIncoming, 10000);
    EXPECT_EQ(dblTotalOutgoing, 20000);
    EXPECT_EQ(LastSent(), "ifconfig\r\n");

    Tick(Reply("1500", "700"));
    EXPECT_EQ(monitor().lblIncoming.caption(), "500");
    EXPECT_EQ(monitor().lblOutgoing.caption(), "200");
    EXPECT_EQ(dblTotalIncoming, 10500);
    EXPECT_EQ(dblTotalOutgoing, 20200);

    // Nothing received, something sent: the sent bytes still count.
    Tick(Reply("1500", "950"));
    EXPECT_EQ(monitor().lblIncoming.caption(), "0");
    EXPECT_EQ(monitor().lblOutgoing.caption(), "250");
    EXPECT_EQ(dblTotalIncoming, 10500);
    EXPECT_EQ(dblTotalOutgoing, 20450);

    // Only one direction went back (a wrapped counter): the other still counts.
    Tick(Reply("2500", "100"));
    EXPECT_EQ(monitor().lblIncoming.caption(), "1000");
    EXPECT_EQ(monitor().lblOutgoing.caption(), "-850");
    EXPECT_EQ(dblTotalIncoming, 11500);
    EXPECT_EQ(dblTotalOutgoing, 20450);

    // A router restart: shown once as negative, never added; counting goes on from there.
    Tick(Reply("300", "40"));
    EXPECT_EQ(monitor().lblIncoming.caption(), "-2200");
    EXPECT_EQ(monitor().lblOutgoing.caption(), "-60");
    EXPECT_EQ(dblTotalIncoming, 11500);
    EXPECT_EQ(dblTotalOutgoing, 20450);
    Tick(Reply("400", "90"));
    EXPECT_EQ(dblTotalIncoming, 11600);
    EXPECT_EQ(dblTotalOutgoing, 20500);
}

TEST_F(TelnetTest, OutgoingLabelIsWrittenBeforeIncoming) {
    LogIn();
    std::vector<std::string> log;
    monitor().lblOutgoing.attachPeer(std::make_unique<test::TextChangeLog>(log, "out"));
    monitor().lblIncoming.attachPeer(std::make_unique<test::TextChangeLog>(log, "in"));
    Tick(Reply("10", "20"));
    EXPECT_EQ(log, (std::vector<std::string>{"out", "in"}));
}

TEST_F(TelnetTest, CountersBeyond32BitsReadExactly) {
    LogIn();
    Tick(std::string(samples::kIfconfig));
    EXPECT_EQ(monitor().lblIncoming.caption(), "3000000123");
    EXPECT_EQ(monitor().lblOutgoing.caption(), "1234567");
    Tick(Reply("4294967396", "4294967296"));
    EXPECT_EQ(monitor().lblIncoming.caption(), "1294967273");
    EXPECT_EQ(monitor().lblOutgoing.caption(), "4293732729");
    EXPECT_EQ(dblTotalIncoming, 1294967273);
}

TEST_F(TelnetTest, AGarbledReplyAsksForAFreshOneAndChangesNothing) {
    LogIn();
    Tick(Reply("1000", "500"));
    Tick(Reply("1500", "700"));
    const double in = dblTotalIncoming, out = dblTotalOutgoing;

    const std::vector<std::string> garbled = {
        "",                                                        // nothing arrived yet
        "ifconfig\r\nbr0 Link encap:Ethernet\r\n RX bytes:5 (5",  // cut before the PPP block
        "Point-Point Protocol\r\n RX bytes:9000 (9.0 KiB)  TX bytes:9000",         // no " (" after TX
        "Point-Point Protocol\r\n RX bytes:many (lots)  TX bytes:9000 (9.0 KiB)",  // not a number
        "Point-Point Protocol\r\n TX bytes:9000 (9.0 KiB)",                        // no RX bytes
    };
    for (const std::string& reply : garbled) {
        std::size_t sent = peer().sent.size();
        Tick(reply);
        EXPECT_EQ(peer().sent.size(), sent + 1) << reply;
        EXPECT_EQ(LastSent(), "ifconfig\r\n") << reply;
        EXPECT_EQ(monitor().lblIncoming.caption(), "500") << reply;
        EXPECT_EQ(monitor().lblOutgoing.caption(), "200") << reply;
        EXPECT_EQ(dblLastIncoming, 1500) << reply;
        EXPECT_EQ(dblLastOutgoing, 700) << reply;
        EXPECT_EQ(dblTotalIncoming, in) << reply;
        EXPECT_EQ(dblTotalOutgoing, out) << reply;
    }
    EXPECT_TRUE(S().messageBoxes.empty());
}

TEST_F(TelnetTest, AFailedReadBeforeLoggingInLeavesTheStateEmpty) {
    peer().state = platform::SocketState::Closed;
    Tick("Login: ");
    EXPECT_EQ(strTelnetState, "");
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Connecting");
    EXPECT_TRUE(peer().sent.empty());
    // Once the connection is there, the login starts from the beginning.
    peer().state = platform::SocketState::Connected;
    Tick("Login: ");
    EXPECT_EQ(LastSent(), "admin\r\n");
    EXPECT_EQ(strTelnetState, "NeedToSendPassword");
}

TEST_F(TelnetTest, NoSecondBoxWhileOneIsOpen) {
    Tick();
    Tick();
    int ticksWhileOpen = 0;
    S().onMessageBox = [&](const fake::MessageBoxCall&) {
        for (int i = 0; i < 3; ++i, ++ticksWhileOpen) Tick("");
    };
    Tick("");
    EXPECT_EQ(ticksWhileOpen, 3);
    EXPECT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_EQ(peer().sent.size(), 3u);  // user, password, and the one empty send
    S().onMessageBox = nullptr;
    Tick("");
    EXPECT_EQ(S().messageBoxes.size(), 2u);
}

TEST_F(TelnetTest, ResetPutsTheSessionBackToTheStart) {
    LogIn();
    Tick(Reply("1000", "500"));
    ResetTelnetState();
    EXPECT_EQ(strTelnetState, "");
    EXPECT_FALSE(blnHaveBaseline);
}

// The recovery step with a peer whose sends fail on demand.
class TelnetRecoveryTest : public test::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        S().tcpFactory = [this] {
            auto c = std::make_unique<ScriptedClient>();
            client = c.get();
            return c;
        };
        WriteBootIni("127.0.0.6", "2meg", true, "secret");
        StartProgram();
        ASSERT_NE(client, nullptr);
    }
    void Poll(const std::string& received = "") {
        client->incoming = received;
        PollTelnetStats("admin", "secret", "127.0.0.6");
    }
    ScriptedClient* client = nullptr;
};

TEST_F(TelnetRecoveryTest, AFailedSendInTheConsoleIsRetriedWithAFreshRequest) {
    Poll();
    Poll();
    Poll("> ");
    ASSERT_EQ(strTelnetState, "Console");
    client->attempts.clear();
    client->failSends = 1;
    Poll(Reply("1000", "500"));
    // The reading was taken before the send failed; the recovery asks again.
    EXPECT_EQ(client->attempts, (std::vector<std::string>{"ifconfig\r\n", "ifconfig\r\n"}));
    EXPECT_EQ(Default<frmMain>::Get().lblIncoming.caption(), "1000");
}

TEST_F(TelnetRecoveryTest, AFailedSendDuringTheLoginIsRepeatedOnce) {
    client->failSends = 1;
    Poll();
    // The state moved on before the send failed; the recovery sends the same line again.
    EXPECT_EQ(client->attempts, (std::vector<std::string>{"admin\r\n", "admin\r\n"}));
    EXPECT_EQ(strTelnetState, "NeedToSendPassword");
}

TEST_F(TelnetRecoveryTest, AnErrorInsideTheRecoveryLeavesTheRoutine) {
    client->failGet = true;
    client->failSends = 5;
    EXPECT_THROW(Poll(), RuntimeError);
    EXPECT_EQ(client->attempts, (std::vector<std::string>{""}));
    EXPECT_EQ(strTelnetState, "");

    // In the console the recovery's own request fails the same way.
    client->failGet = false;
    client->failSends = 0;
    Poll();
    Poll();
    Poll("> ");
    ASSERT_EQ(strTelnetState, "Console");
    client->attempts.clear();
    client->failGet = true;
    client->failSends = 1;
    EXPECT_THROW(Poll(), RuntimeError);
    EXPECT_EQ(client->attempts, (std::vector<std::string>{"ifconfig\r\n"}));

    // The polling cycle swallows it and goes on drawing.
    client->failSends = 1;
    EXPECT_NO_THROW(Default<frmMain>::Get().Timer.tick());
}

}  // namespace
}  // namespace vx
