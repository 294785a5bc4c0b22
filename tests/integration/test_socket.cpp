// The non-blocking TCP client against the simulated router's console.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/net.h"
#include "sources/ConsoleReply.h"
#include "runtime/errors.h"
#include "tests/integration/sim_process.h"

namespace vx {
namespace {

using platform::SocketState;
using platform::TcpClient;
using test::SimRouter;
using test::WaitUntil;

int ErrorOf(TcpClient& c, bool send) {
    try {
        std::string data;
        if (send)
            c.SendData("x");
        else
            c.GetData(data);
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

class SocketTest : public ::testing::Test {
protected:
    std::unique_ptr<TcpClient> ConnectTo(const std::string& host, int port) {
        auto c = platform::CreateTcpClient();
        c->RemoteHost = host;
        c->RemotePort = port;
        c->Connect();
        return c;
    }
    // Reads until `text` has arrived (or time is up); returns all that was read.
    static std::string ReadUntil(TcpClient& c, const std::string& text) {
        std::string all;
        WaitUntil([&] {
            std::string part;
            c.GetData(part);
            all += part;
            return all.find(text) != std::string::npos;
        });
        return all;
    }
    // Logs into the console and says "exit", after which the router hangs up.
    static void LogInAndLeave(TcpClient& c) {
        ASSERT_TRUE(WaitUntil([&] { return c.State() == SocketState::Connected; }));
        ReadUntil(c, "Login: ");
        c.SendData("admin\r\n");
        ReadUntil(c, "Password: ");
        c.SendData("secret\r\n");
        ReadUntil(c, "> ");
        c.SendData("exit\r\n");
    }
};

TEST_F(SocketTest, NotConnectedReadsAndWritesRaise40006) {
    auto c = platform::CreateTcpClient();
    EXPECT_EQ(c->State(), SocketState::Closed);
    EXPECT_EQ(ErrorOf(*c, false), kErrSocketNotConnected);
    EXPECT_EQ(ErrorOf(*c, true), kErrSocketNotConnected);
}

TEST_F(SocketTest, ConnectionsThatCannotBeMadeEndInTheErrorState) {
    // Nothing listening.
    auto refused = ConnectTo("127.0.0.12", test::UnusedPort("127.0.0.12"));
    EXPECT_TRUE(WaitUntil([&] { return refused->State() == SocketState::Error; }));
    EXPECT_EQ(ErrorOf(*refused, false), kErrSocketNotConnected);
    // Not an address (the web mode's "IP:port" text), and no port.
    for (auto [host, port] : {std::pair<std::string, int>{"127.0.0.12:8080", 23}, {"", 23}, {"127.0.0.12", 0}}) {
        auto bad = ConnectTo(host, port);
        EXPECT_EQ(bad->State(), SocketState::Error) << host << " " << port;
        EXPECT_EQ(ErrorOf(*bad, true), kErrSocketNotConnected);
    }
}

TEST_F(SocketTest, LogsInAndReadsTheConsoleReply) {
    SimRouter sim({"--address", "127.0.0.12", "--no-web", "--console-port", "0", "--iac",
                   "--rx-start", "4294967000", "--tx-start", "2147483648"});
    auto c = ConnectTo("127.0.0.12", sim.consolePort());
    // Connect returns at once; the connection completes without anyone waiting for it.
    ASSERT_TRUE(WaitUntil([&] { return c->State() == SocketState::Connected; }));
    std::string greeting = ReadUntil(*c, "Login: ");
    EXPECT_EQ(greeting.substr(0, 3), "\xff\xfb\x01");
    c->SendData("admin\r\n");
    ReadUntil(*c, "Password: ");
    c->SendData("secret\r\n");
    ReadUntil(*c, "> ");
    c->SendData("ifconfig\r\n");
    std::string reply = ReadUntil(*c, "nas_0_38");
    reply += ReadUntil(*c, "> ");
    ConsoleCounterTexts t = ParseConsoleCounters(reply);
    EXPECT_EQ(t.rx, "4294967000");
    EXPECT_EQ(t.tx, "2147483648");
}

TEST_F(SocketTest, AFloodIsTakenAtMostOneMiBPerReadInOrder) {
    SimRouter sim({"--address", "127.0.0.12", "--no-web", "--console-port", "0", "--console-mode", "flood"});
    auto c = ConnectTo("127.0.0.12", sim.consolePort());
    ASSERT_TRUE(WaitUntil([&] { return c->State() == SocketState::Connected; }));

    // The numbered lines must continue from read to read: nothing lost,
    // nothing repeated, however much the peer pushes.
    std::string carry;
    long long expected = 0;
    std::size_t largest = 0;
    for (int read = 0; read < 8; ++read) {
        test::SleepMs(150);
        std::string data;
        c->GetData(data);
        ASSERT_LE(data.size(), platform::kMaxReceiveBytes);
        largest = std::max(largest, data.size());
        carry += data;
        std::size_t pos = 0;
        for (std::size_t nl; (nl = carry.find('\n', pos)) != std::string::npos; pos = nl + 1) {
            ASSERT_EQ(std::stoll(carry.substr(pos, nl - pos)), expected) << "after " << expected;
            ++expected;
        }
        carry.erase(0, pos);
    }
    EXPECT_GT(expected, 0);
    // The kernel holds more than a read takes, so reads do reach the bound.
    EXPECT_EQ(largest, platform::kMaxReceiveBytes);
}

TEST_F(SocketTest, APeerThatClosesIsSeenAndNeverRaisesSigpipe) {
    SimRouter sim({"--address", "127.0.0.12", "--no-web", "--console-port", "0"});
    auto c = ConnectTo("127.0.0.12", sim.consolePort());
    ASSERT_NO_FATAL_FAILURE(LogInAndLeave(*c));
    test::SleepMs(300);
    // Writing into the closed connection: an error, not a signal.
    int error = 0;
    for (int i = 0; i < 20 && error == 0; ++i, test::SleepMs(20)) error = ErrorOf(*c, true);
    EXPECT_NE(error, 0);
    EXPECT_EQ(c->State(), SocketState::Error);
    EXPECT_EQ(ErrorOf(*c, false), kErrSocketNotConnected);
}

TEST_F(SocketTest, ReadingToTheEndClosesTheClient) {
    SimRouter sim({"--address", "127.0.0.12", "--no-web", "--console-port", "0"});
    auto c = ConnectTo("127.0.0.12", sim.consolePort());
    ASSERT_NO_FATAL_FAILURE(LogInAndLeave(*c));
    std::string rest;
    ASSERT_TRUE(WaitUntil([&] {
        std::string part;
        c->GetData(part);
        rest += part;
        return c->State() != SocketState::Connected;
    }));
    EXPECT_EQ(rest, "exit\r\n");  // the echo arrives before the end
    EXPECT_EQ(c->State(), SocketState::Closed);
    EXPECT_EQ(ErrorOf(*c, false), kErrSocketNotConnected);
}

TEST_F(SocketTest, ConnectingAgainStartsANewConnection) {
    SimRouter sim({"--address", "127.0.0.12", "--console-port", "0"});
    auto c = ConnectTo("127.0.0.12", sim.consolePort());
    ASSERT_TRUE(WaitUntil([&] { return c->State() == SocketState::Connected; }));
    c->Connect();
    ASSERT_TRUE(WaitUntil([&] { return c->State() == SocketState::Connected; }));
    EXPECT_TRUE(sim.WaitForStat("console_connections", 2));
    c->Close();
    EXPECT_EQ(c->State(), SocketState::Closed);
    EXPECT_EQ(ErrorOf(*c, true), kErrSocketNotConnected);
}

}  // namespace
}  // namespace vx
