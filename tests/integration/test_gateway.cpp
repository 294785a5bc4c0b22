// The UPnP gateway client (miniupnpc and the kept HTTP session, on its worker)
// against the simulated router's gateway, and the monitor reading it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>

#include "core/Monitor.h"
#include "dialogs/StartUp.h"
#include "monitor/frmMain.h"
#include "platform/gateway.h"
#include "tests/integration/sim_process.h"
#include "tests/support/program.h"
#include "traffic/modFunctions.h"

namespace {

// Connections the test program's network libraries tried off loopback. Not
// one is made: the test would fail anyway, and nothing leaves this machine.
std::atomic<int> g_connectsElsewhere{0};

bool OffLoopback(const sockaddr* address) {
    if (address->sa_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr) >> 24) != 127;
    if (address->sa_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        return !IN6_IS_ADDR_LOOPBACK(&a);
    }
    return false;
}

}  // namespace

// Every connect() of the HTTP client and miniupnpc in this program comes here first.
extern "C" int connect(int fd, const sockaddr* address, socklen_t length) {
    using Connect = int (*)(int, const sockaddr*, socklen_t);
    static const auto real = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "connect"));
    if (address && OffLoopback(address)) {
        ++g_connectsElsewhere;
        errno = ENETUNREACH;
        return -1;
    }
    return real(fd, address, length);
}

namespace vx {
namespace {

using platform::GatewayAnswer;
using test::SimRouter;

// Asks for one round and waits for its answer (discovery takes a few seconds).
std::optional<GatewayAnswer> Round(platform::Gateway& g, bool details) {
    g.request(details);
    std::optional<GatewayAnswer> a;
    test::WaitUntil([&] { return (a = g.answer()).has_value(); }, std::chrono::seconds(30));
    return a;
}

TEST(Gateway, ReadsTheTotalsAndTheDetailsAtItsDescription) {
    SimRouter sim({"--address", "127.0.0.31", "--no-console", "--upnp", "--rx-start", "4000000000", "--tx-start",
                   "123456", "--link-down", "16000000", "--link-up", "1000000"});
    ASSERT_FALSE(sim.upnp().empty());
    auto g = platform::OpenGateway(sim.upnp());
    auto a = Round(*g, true);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->failure, "");
    EXPECT_TRUE(a->found);
    EXPECT_EQ(a->received, 4000000000.0);
    EXPECT_EQ(a->sent, 123456.0);
    EXPECT_EQ(a->linkDown, 16000000.0);
    EXPECT_EQ(a->linkUp, 1000000.0);
    ASSERT_TRUE(a->uptime);
    EXPECT_GE(*a->uptime, 0);
    // Without details only the totals are asked for.
    sim.Control("rx=4294967000");
    a = Round(*g, false);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->received, 4294967000.0);
    EXPECT_FALSE(a->linkDown);
    EXPECT_FALSE(a->uptime);
}

TEST(Gateway, DiscoveryFindsItWithoutBlockingTheCaller) {
    SimRouter sim({"--address", "127.0.0.32", "--no-console", "--upnp", "--rx-start", "777"});
    auto g = platform::OpenGateway("");
    g->request(true);
    EXPECT_FALSE(g->answer()) << "the round runs on the worker, not in request()";
    auto a = Round(*g, true);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->failure, "");
    EXPECT_EQ(a->received, 777.0);
    EXPECT_GE(sim.Stat("ssdp_replies"), 1);
}

TEST(Gateway, ARefusingGatewayAndNoGatewaySayWhatFailed) {
    {
        SimRouter refusing({"--address", "127.0.0.33", "--no-console", "--upnp", "--upnp-mode", "refuse"});
        auto g = platform::OpenGateway(refusing.upnp());
        auto a = Round(*g, true);
        ASSERT_TRUE(a);
        EXPECT_TRUE(a->found);
        EXPECT_EQ(a->failure, "the gateway refused GetTotalBytesReceived (UPnP error 501)");
        EXPECT_FALSE(a->received);
    }
    SimRouter silent({"--address", "127.0.0.34", "--no-console", "--upnp", "--upnp-mode", "silent"});
    auto lost = platform::OpenGateway("");
    auto a = Round(*lost, true);
    ASSERT_TRUE(a);
    EXPECT_FALSE(a->found);
    EXPECT_EQ(a->failure, "no UPnP gateway answered on the local network");
}

TEST(Gateway, AGatewayThatGoesAwayIsFoundAgainWhenItIsBack) {
    const int port = test::UnusedPort("127.0.0.35");
    const std::vector<std::string> args = {"--address",   "127.0.0.35",         "--no-console", "--upnp",
                                           "--upnp-port", std::to_string(port), "--rx-start",   "100"};
    std::string location;
    std::unique_ptr<platform::Gateway> g;
    {
        SimRouter sim(args);
        location = sim.upnp();
        g = platform::OpenGateway(location);
        auto a = Round(*g, false);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->received, 100.0);
    }
    auto a = Round(*g, false);
    ASSERT_TRUE(a);
    EXPECT_NE(a->failure.find("did not answer"), std::string::npos) << a->failure;
    SimRouter back(args);
    ASSERT_EQ(back.upnp(), location);
    // The next round looks for it at its description again.
    a = Round(*g, false);
    ASSERT_TRUE(a);
    if (!a->failure.empty()) a = Round(*g, false);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->failure, "");
    EXPECT_EQ(a->received, 100.0);
}

// Hostile hosts on the local network: one that trickles its description, one
// whose discovery answer names an address off the network. The gateway is
// found past them, in one round, and nothing off loopback is connected to.
TEST(Gateway, DiscoveryPassesOverASlowHostAndOneNamingAnAddressElsewhere) {
    SimRouter real({"--address", "127.0.0.37", "--no-console", "--upnp", "--rx-start", "4242"});
    SimRouter slow({"--address", "127.0.0.38", "--no-console", "--upnp", "--upnp-mode", "trickle"});
    SimRouter elsewhere({"--address", "127.0.0.39", "--no-console", "--upnp", "--upnp-claim", "203.0.113.5"});
    g_connectsElsewhere = 0;
    auto g = platform::OpenGateway("");
    auto a = Round(*g, false);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->failure, "");
    EXPECT_EQ(a->received, 4242.0);
    // Named by its UDN: the history tells gateways apart by it.
    EXPECT_NE(real.Control().find("\"udn\": \"" + a->identity + "\""), std::string::npos) << a->identity;
    EXPECT_EQ(a->identity.rfind("uuid:", 0), 0u) << a->identity;
    EXPECT_EQ(g_connectsElsewhere, 0);
}

TEST(Gateway, AnAddressOffTheLocalNetworkIsRefusedBeforeAnyConnection) {
    g_connectsElsewhere = 0;
    auto a = Round(*platform::OpenGateway("http://203.0.113.5:5000/rootDesc.xml"), false);
    ASSERT_TRUE(a);
    EXPECT_FALSE(a->found);
    EXPECT_EQ(a->failure, "the UPnP device at http://203.0.113.5:5000/rootDesc.xml is not on the local network");
    {
        // Only a host naming an address elsewhere answers discovery.
        SimRouter named({"--address", "127.0.0.39", "--no-console", "--upnp", "--upnp-claim", "203.0.113.5"});
        a = Round(*platform::OpenGateway(""), false);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->failure, "the UPnP device that answered is not on the local network");
    }
    // A description on the network whose URLBase sends the calls elsewhere,
    // or names a host (the network's names are not looked up).
    for (const char* elsewhere : {"203.0.113.5", "localhost"}) {
        SimRouter based(
            {"--address", "127.0.0.39", "--no-console", "--upnp", "--upnp-urlbase", "--upnp-claim", elsewhere});
        a = Round(*platform::OpenGateway(based.upnp()), false);
        ASSERT_TRUE(a);
        EXPECT_FALSE(a->found);
        EXPECT_EQ(a->failure, "the UPnP device at " + based.upnp() + " sends its calls to another host");
        EXPECT_EQ(based.Stat("upnp_requests"), 0);
    }
    EXPECT_EQ(g_connectsElsewhere, 0);
    // The user's own name for the gateway is looked up, and the address checked.
    SimRouter named({"--address", "127.0.0.1", "--no-console", "--upnp", "--rx-start", "55"});
    const std::string location = named.upnp();
    a = Round(*platform::OpenGateway("http://localhost" + location.substr(location.rfind(':'))), false);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->received, 55.0);
}

TEST(Gateway, ReplyElementsAreMatchedByTheirWholeNames) {
    SimRouter sim({"--address", "127.0.0.30", "--no-console", "--upnp", "--upnp-mode", "decoy", "--rx-start", "777",
                   "--tx-start", "888", "--link-down", "16000000"});
    auto a = Round(*platform::OpenGateway(sim.upnp()), true);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->received, 777.0) << "not <NewTotalBytesReceivedX>";
    EXPECT_EQ(a->sent, 888.0);
    EXPECT_EQ(a->linkDown, 16000000.0);
}

// The monitor with "upnp://..." in its settings, over the fake windows.
class UpnpProgramTest : public test::ProgramTest {};

TEST_F(UpnpProgramTest, TheMonitorReadsTheGatewayAndCountsTheTotals) {
    SimRouter sim(
        {"--address", "127.0.0.36", "--no-console", "--upnp", "--rx-start", "4294960000", "--tx-start", "5000"});
    std::string address = "upnp://" + sim.upnp().substr(std::string("http://").size());
    WriteTotals("0", "0");
    test::WriteFile(bootFile(), "[Settings]\nEnabled=True\nIP=" + address + "\nPassword=x\nSpeed=2meg\n");
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists());
    frmMain& m = *Default<frmMain>::Peek();
    // Ticks until the gateway's answers come: the first is the baseline.
    auto tickUntil = [&](auto done) {
        return test::WaitUntil(
            [&] {
                m.Timer.tick();
                return done();
            },
            std::chrono::seconds(15));
    };
    ASSERT_TRUE(tickUntil([&] { return m.lblMaxIncoming.caption() == "12M/s"; }))
        << "the router's 100 Mbit line sets the scale: " << m.lblMaxIncoming.caption();
    ASSERT_TRUE(sim.WaitForStat("upnp_requests", 4));
    // 10 kB in, past 2^32: a wrap the line can make.
    sim.Control("rx=" + std::to_string(4294960000LL + 10240 - 4294967296LL) + "&tx=6024");
    // A round may straddle the change: the two directions then come a tick apart.
    ASSERT_TRUE(tickUntil([&] { return m.traffic().totals().in == 10240 && m.traffic().totals().out == 1024; }));
    m.window().userCloseRequested();
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "10240");
    EXPECT_EQ(ReadIniValue("TotalStats", "OutGoing", statsFile()), "1024");
}

TEST_F(UpnpProgramTest, AGatewayThatTakesItsTimeIsNotTakenForSilent) {
    SimRouter sim({"--address", "127.0.0.36", "--no-console", "--upnp", "--upnp-mode", "slow", "--upnp-delay", "1.5",
                   "--rx-rate", "1000"});
    std::string address = "upnp://" + sim.upnp().substr(std::string("http://").size());
    test::WriteFile(bootFile(), "[Settings]\nEnabled=True\nIP=" + address + "\nPassword=x\nSpeed=2meg\n");
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists());
    frmMain& m = *Default<frmMain>::Peek();
    // Ticks far oftener than once a second, through three rounds of calls
    // 1.5 s each (the first with the details): a reading every few ticks.
    std::vector<std::string> captions;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            m.Timer.tick();
            if (captions.empty() || captions.back() != m.window().caption()) captions.push_back(m.window().caption());
            return sim.Stat("upnp_requests") >= 8 && m.traffic().totals().in > 0;
        },
        std::chrono::seconds(40)));
    EXPECT_EQ(captions, (std::vector<std::string>{"Vexlo Router Stats - Connecting", "Vexlo Router Stats"}));
    m.window().userCloseRequested();
}

// Some gateways refresh their totals only every few seconds, as SNMP agents do.
TEST_F(UpnpProgramTest, TotalsRefreshedEveryThreeSecondsShowASteadyRate) {
    SimRouter sim({"--address", "127.0.0.37", "--no-web", "--no-console", "--upnp", "--counter-refresh", "3",
                   "--rx-rate", "100000"});
    MonitorSettings settings;
    settings.routerIP = "upnp://" + sim.upnp().substr(std::string("http://").size());
    Monitor m(settings);
    ASSERT_TRUE(m.start().problems.empty());
    test::ExpectSteadyRates(m, 100000);
    m.close();
}

}  // namespace
}  // namespace vx
