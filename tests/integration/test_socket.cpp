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
    // Everything a connection received, read on demand.
    class Reader {
    public:
        explicit Reader(TcpClient& c) : c_(c) {}
        // Reads until `text` arrives after what earlier calls waited for, or
        // the deadline passes (a test failure); returns what came up to and
        // including it.
        std::string Until(const std::string& text, std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
            std::size_t at = std::string::npos;
            const bool found = WaitUntil(
                [&] {
                    std::string part;
                    c_.GetData(part);
                    all_ += part;
                    at = all_.find(text, from_);
                    return at != std::string::npos;
                },
                deadline);
            EXPECT_TRUE(found) << "\"" << text << "\" never came; got: " << all_.substr(from_);
            if (!found) return all_.substr(from_);
            const std::size_t end = at + text.size();
            std::string got = all_.substr(from_, end - from_);
            from_ = end;
            return got;
        }

    private:
        TcpClient& c_;
        std::string all_;
        std::size_t from_ = 0;
    };
    // Logs into the console and says "exit", after which the router hangs up.
    static void LogInAndLeave(TcpClient& c) {
        ASSERT_TRUE(WaitUntil([&] { return c.State() == SocketState::Connected; }));
        Reader r(c);
        r.Until("Login: ");
        c.SendData("admin\r\n");
        r.Until("Password: ");
        c.SendData("secret\r\n");
        ASSERT_NE(r.Until("> ").find("> "), std::string::npos);
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
    SimRouter sim({"--address", "127.0.0.12", "--no-web", "--console-port", "0", "--iac", "--rx-start", "4294967000",
                   "--tx-start", "2147483648"});
    auto c = ConnectTo("127.0.0.12", sim.consolePort());
    // Connect returns at once; the connection completes without anyone waiting for it.
    ASSERT_TRUE(WaitUntil([&] { return c->State() == SocketState::Connected; }));
    Reader r(*c);
    std::string greeting = r.Until("Login: ");
    EXPECT_EQ(greeting.substr(0, 3), "\xff\xfb\x01");
    c->SendData("admin\r\n");
    r.Until("Password: ");
    c->SendData("secret\r\n");
    r.Until("> ");
    c->SendData("ifconfig\r\n");
    std::string reply = r.Until("nas_0_38");
    reply += r.Until("> ");
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
    int reads = 0;
    bool inOrder = true;
    // Reads until one read has been cut at the bound (the kernel holds more
    // than a read takes, however busy the machine) and a few more followed.
    EXPECT_TRUE(WaitUntil(
        [&] {
            // Paced as the program reads (it does once a second), only
            // faster: between two reads the kernel can take in more than one
            // read may return. Polling as fast as possible keeps it too empty.
            test::SleepMs(100);
            std::string data;
            c->GetData(data);
            ++reads;
            EXPECT_LE(data.size(), platform::kMaxReceiveBytes);
            largest = std::max(largest, data.size());
            carry += data;
            std::size_t pos = 0;
            for (std::size_t nl; inOrder && (nl = carry.find('\n', pos)) != std::string::npos; pos = nl + 1) {
                inOrder = std::stoll(carry.substr(pos, nl - pos)) == expected;
                EXPECT_TRUE(inOrder) << "after " << expected;
                ++expected;
            }
            carry.erase(0, pos);
            return !inOrder || (largest == platform::kMaxReceiveBytes && reads >= 8);
        },
        std::chrono::seconds(20)));
    ASSERT_TRUE(inOrder);
    EXPECT_GT(expected, 0);
    // The kernel holds more than a read takes, so reads do reach the bound.
    EXPECT_EQ(largest, platform::kMaxReceiveBytes);
}

TEST_F(SocketTest, APeerThatClosesIsSeenAndNeverRaisesSigpipe) {
    SimRouter sim({"--address", "127.0.0.12", "--no-web", "--console-port", "0"});
    auto c = ConnectTo("127.0.0.12", sim.consolePort());
    ASSERT_NO_FATAL_FAILURE(LogInAndLeave(*c));
    // Writing into the closed connection: an error, not a signal. The first
    // write may still be taken before the peer's reset arrives.
    int error = 0;
    EXPECT_TRUE(WaitUntil([&] { return (error = ErrorOf(*c, true)) != 0; }));
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
