// The SNMP agent client (our own manager on its worker) against Debian's real
// agent, started here with a configuration of our own, reading the loopback
// interface while the test drives known traffic through it; and the monitor
// reading it from boot.ini.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Monitor.h"
#include "dialogs/StartUp.h"
#include "monitor/frmMain.h"
#include "platform/snmp.h"
#include "sources/SnmpSource.h"
#include "tests/integration/sim_process.h"
#include "tests/support/files.h"
#include "tests/support/program.h"
#include "traffic/modFunctions.h"

extern char** environ;

namespace vx {
namespace {

using platform::SnmpAnswer;
using platform::SnmpFailure;

// The agents here count lo's bytes, and the other tests (run beside these)
// move bytes over lo too: each test process takes a network namespace of its
// own, with only its loopback, before it starts anything.
const bool kOwnLoopback = [] {
    if (unshare(CLONE_NEWNET) != 0) return false;
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::snprintf(request.ifr_name, sizeof request.ifr_name, "lo");
    bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0) close(fd);
    if (!up) std::abort();  // no loopback at all: nothing here could run
    return true;
}();

constexpr const char* kAddress = "127.0.0.41";
constexpr const char* kPassPhrase = "loopback-phrase";

// snmpd in the foreground on kAddress, with a v2c community "vxtest" and v3
// users "vxuser" (SHA-256, AES) and "vxdes" (SHA, DES); stopped by its pid.
class Snmpd {
public:
    Snmpd() : port_(test::UnusedPort(kAddress)) {
        test::WriteFile(dir_.file("snmpd.conf"),
                        std::string("rocommunity vxtest 127.0.0.0/8\n") +
                            "dontLogTCPWrappersConnects yes\ncreateUser vxuser SHA-256 \"" + kPassPhrase + "\" AES \"" +
                            kPassPhrase + "\"\nrouser vxuser authpriv\ncreateUser vxdes SHA \"" + kPassPhrase +
                            "\" DES \"" + kPassPhrase + "\"\nrouser vxdes authpriv\n");
        Start();
    }
    ~Snmpd() { Stop(); }
    Snmpd(const Snmpd&) = delete;
    Snmpd& operator=(const Snmpd&) = delete;

    std::string where() const { return std::string(kAddress) + ":" + std::to_string(port_); }

    void Start() {
        const std::string conf = dir_.file("snmpd.conf"), log = dir_.file("snmpd.log");
        std::vector<std::string> argv = {"/usr/sbin/snmpd", "-f", "-C", "-c", conf, "-Lf", log, "udp:" + where()};
        std::vector<char*> cargv;
        for (auto& a : argv) cargv.push_back(a.data());
        cargv.push_back(nullptr);
        // Its state in our folder, not /var/lib/snmp; no MIB files needed.
        setenv("SNMP_PERSISTENT_DIR", dir_.file("state").c_str(), 1);
        if (posix_spawn(&pid_, argv[0].c_str(), nullptr, nullptr, cargv.data(), environ) != 0)
            throw std::runtime_error("snmpd could not be started");
        const std::string probe =
            "snmpget -v2c -c vxtest -t 0.3 -r 0 -M /dev/null " + where() + " 1.3.6.1.2.1.1.3.0 >/dev/null 2>&1";
        if (!test::WaitUntil([&] { return std::system(probe.c_str()) == 0; }, std::chrono::seconds(20)))
            throw std::runtime_error("snmpd does not answer: " + test::ReadFile(log));
    }

    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    test::TempDir dir_;
    int port_;
    pid_t pid_ = -1;
};

// `bytes` through the loopback interface, in UDP datagrams of 1000 bytes.
void SendThroughLoopback(int bytes) {
    const int in = socket(AF_INET, SOCK_DGRAM, 0), out = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(0x7f000001);
    ASSERT_EQ(bind(in, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t length = sizeof a;
    getsockname(in, reinterpret_cast<sockaddr*>(&a), &length);
    const std::string datagram(1000, 'x');
    char buffer[1000];
    for (int sent = 0; sent < bytes; sent += 1000) {
        ASSERT_EQ(sendto(out, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a), 1000);
        ASSERT_EQ(recv(in, buffer, sizeof buffer, 0), 1000);  // never more than the socket's buffer at once
    }
    close(in);
    close(out);
}

std::optional<SnmpAnswer> Round(platform::SnmpAgent& agent) {
    agent.request();
    std::optional<SnmpAnswer> a;
    test::WaitUntil([&] { return (a = agent.answer()).has_value(); }, std::chrono::seconds(30));
    return a;
}

platform::SnmpTarget Target(const Snmpd& agent, const std::string& address, const std::string& passPhrase = {},
                            const std::string& interfaceName = "lo") {
    return *SnmpTargetFor(address + agent.where(), passPhrase, interfaceName);
}

TEST(Snmp, V2cAndV3ReadTheNamedInterfaceAndAWrongPassPhraseOrCommunityIsRefused) {
    Snmpd snmpd;
    platform::SnmpTarget des = Target(snmpd, "snmpv3://vxdes@", kPassPhrase);
    des.auth = "SHA";
    des.privacy = "DES";
    for (const auto& target : {Target(snmpd, "snmp://vxtest@"), Target(snmpd, "snmpv3://vxuser@", kPassPhrase), des}) {
        auto a = Round(*platform::OpenSnmpAgent(target));
        // The cryptography is loaded for v3 only.
        EXPECT_EQ(test::LibraryLoaded("libcrypto"), target.version == 3) << target.user;
        ASSERT_TRUE(a);
        EXPECT_EQ(a->failure, SnmpFailure::None) << a->text;
        EXPECT_EQ(a->interfaceName, "lo");
        EXPECT_TRUE(a->counters64) << "Debian's agent has ifHCInOctets";
        // lo's counters may still be 0 in this test's own namespace: counting is shown below.
        ASSERT_TRUE(a->received && a->sent && a->uptime);
        EXPECT_EQ(a->speed, 10e6) << "snmpd's speed for lo";
    }
    auto wrong = Round(*platform::OpenSnmpAgent(Target(snmpd, "snmpv3://vxuser@", "not-the-phrase")));
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->failure, SnmpFailure::Authentication) << wrong->text;
    EXPECT_FALSE(wrong->received);
    // The agent drops a wrong community: no answer, in v2c nor in v1.
    auto silent = Round(*platform::OpenSnmpAgent(Target(snmpd, "snmp://guess@")));
    ASSERT_TRUE(silent);
    EXPECT_EQ(silent->failure, SnmpFailure::NoAnswer) << silent->text;
    auto unknown = Round(*platform::OpenSnmpAgent(Target(snmpd, "snmp://vxtest@", "", "eth9")));
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->failure, SnmpFailure::UnknownInterface);
    EXPECT_EQ(unknown->text, "the router has no interface named \"eth9\"; it has lo");
}

TEST(Snmp, TheListingShowsTheInterfacesAndTheOneRead) {
    Snmpd snmpd;
    const std::string named = InterfacesReport(platform::ListSnmpInterfaces(Target(snmpd, "snmp://vxtest@")));
    EXPECT_NE(named.find("\n1      lo               lo "), std::string::npos) << named;
    EXPECT_NE(named.find(" 24    10000000     yes  "), std::string::npos) << "type, speed, 64-bit: " << named;
    EXPECT_NE(named.find("<- read\nvxstat reads lo: named in boot.ini (Interface=lo)\n"), std::string::npos) << named;
    // Only loopback here, and no route: nothing to take without a name.
    const std::string unnamed = InterfacesReport(platform::ListSnmpInterfaces(Target(snmpd, "snmp://vxtest@", {}, {})));
    EXPECT_EQ(unnamed.find("<- read"), std::string::npos) << unnamed;
    EXPECT_NE(unnamed.find("vxstat reads none: the agent shows no interface that is up and not loopback"),
              std::string::npos)
        << unnamed;
}

// ---- the simulated router's own agent: what Debian's cannot show ----------------

constexpr double k2p32 = 4294967296.0;

platform::SnmpTarget SimTarget(const test::SimRouter& sim, const std::string& interfaceName = {}) {
    return *SnmpTargetFor("snmp://" + sim.snmp(), "", interfaceName);
}

TEST(SimSnmp, TheWanInterfaceIsTheDefaultRoutesElseAPppOneElseTheBusiestAndAnyOfItsNamesPicksIt) {
    // The WAN interface is index 3 in every layout; a LAN port with more bytes
    // (and, but for the last, up) stands beside it.
    const struct {
        const char* layout;
        const char* why;
    } layouts[] = {{"inet", "the default route's interface"},
                   {"ipcidr", "the default route's interface"},
                   {"ppp", "a PPP interface"},
                   {"pppoe", "a PPP interface"},
                   {"busiest", "the busiest interface that is up"}};
    for (const auto& l : layouts) {
        test::SimRouter sim({"--address", "127.0.0.42", "--no-web", "--no-console", "--snmp", "--snmp-layout", l.layout,
                             "--rx-start", "70000000"});
        const platform::SnmpListing listing = platform::ListSnmpInterfaces(SimTarget(sim));
        EXPECT_EQ(listing.chosen, 3) << l.layout << ": " << InterfacesReport(listing);
        EXPECT_EQ(listing.why, l.why) << l.layout;
    }
    test::SimRouter sim({"--address", "127.0.0.42", "--no-console", "--snmp"});
    for (const char* name : {"uplink", "WAN port", "ETH1", "eth0"}) {
        const platform::SnmpListing listing = platform::ListSnmpInterfaces(SimTarget(sim, name));
        EXPECT_EQ(listing.chosen, std::string(name) == "eth0" ? 2 : 3) << name << " by alias, description or name";
    }
    // A table without end is read so far and no further, and the route still decides.
    sim.Control("snmp=endless");
    const platform::SnmpListing endless = platform::ListSnmpInterfaces(SimTarget(sim));
    EXPECT_EQ(endless.chosen, 3) << endless.text;
    EXPECT_GT(endless.interfaces.size(), 1000u);
    EXPECT_LE(endless.interfaces.size(), 2048u);
}

TEST(SimSnmp, AnAgentThatSpeaksV1OnlyIsReadInV1AndItsRouteTableStillCounts) {
    // No ifXTable, a route table at the end of its MIB, 32-bit counters only.
    test::SimRouter sim({"--address", "127.0.0.43", "--no-web", "--no-console", "--snmp", "--snmp-mode", "v1only",
                         "--counter-bits", "32", "--rx-start", "123456", "--tx-start", "654321"});
    auto agent = platform::OpenSnmpAgent(SimTarget(sim));
    for (int round = 0; round < 2; ++round) {
        auto a = Round(*agent);
        ASSERT_TRUE(a);
        ASSERT_EQ(a->failure, SnmpFailure::None) << a->text;
        EXPECT_EQ(a->interfaceName, "WAN port") << "v1 agents name interfaces by ifDescr";
        EXPECT_EQ(a->received, 123456.0);
        EXPECT_EQ(a->sent, 654321.0);
        EXPECT_FALSE(a->counters64);
        EXPECT_EQ(a->speed, 100e6);
        EXPECT_TRUE(a->uptime);
        EXPECT_EQ(a->chosenAgain, round == 0) << "the second round goes on from the first";
    }
    const platform::SnmpListing listing = platform::ListSnmpInterfaces(SimTarget(sim, "lan port"));
    EXPECT_EQ(listing.chosen, 2) << listing.text;
}

TEST(SimSnmp, ABaselineStartsAgainForAnotherInterfaceOrADiscontinuityAndNotAfterABadReply) {
    test::SimRouter sim({"--address", "127.0.0.46", "--no-console", "--snmp", "--rx-start", "5000000"});
    auto agent = platform::OpenSnmpAgent(SimTarget(sim));
    // One round: whether its reading starts a new baseline, and under which name.
    auto next = [&](const std::string& why) -> std::optional<std::pair<bool, std::string>> {
        auto a = Round(*agent);
        if (!a || a->failure != SnmpFailure::None || !a->received) {
            ADD_FAILURE() << why << ": " << (a ? a->text : "no answer");
            return std::nullopt;
        }
        return std::make_pair(a->chosenAgain, a->interfaceName);
    };
    using Seen = std::optional<std::pair<bool, std::string>>;
    EXPECT_EQ(next("the first"), Seen(std::make_pair(true, "eth1")));
    EXPECT_EQ(next("the second"), Seen(std::make_pair(false, "eth1")));
    // A reply without counters makes the manager choose again: the same interface.
    sim.Control("snmp=wrongtype");
    auto bad = Round(*agent);
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->failure, SnmpFailure::Other) << bad->text;
    sim.Control("snmp=ok");
    EXPECT_EQ(next("after a bad reply"), Seen(std::make_pair(false, "eth1")));
    sim.Control("discontinuity=1");
    EXPECT_EQ(next("after a discontinuity"), Seen(std::make_pair(true, "eth1")));
    EXPECT_EQ(next("the discontinuity once"), Seen(std::make_pair(false, "eth1")));
    // Another name at the same index: the router renumbered, this is another interface.
    sim.Control("wan_ifname=wan0");
    EXPECT_EQ(next("renamed"), Seen(std::make_pair(true, "wan0")));
    EXPECT_EQ(next("renamed, again"), Seen(std::make_pair(false, "wan0")));
}

// The core with "snmp://..." in its settings, stepped by the test.
class SimSnmpCoreTest : public test::ProgramTest {
protected:
    Monitor& Start(const std::string& address, const std::string& speed = {}) {
        MonitorSettings settings;
        settings.routerIP = address;
        settings.speed = speed;
        core = std::make_unique<Monitor>(settings);
        EXPECT_TRUE(core->start().problems.empty());
        return *core;
    }
    // One tick; the problems it told are kept.
    MonitorStep Tick() {
        MonitorStep step = core->step();
        for (const Problem& p : step.problems) told.push_back(p.text);
        if (step.taken) taken.push_back(*step.taken);
        return step;
    }
    // Ticks (each quickly, as the window's timer would find them) until done().
    template <class F>
    bool StepUntil(F done, std::chrono::seconds timeout = std::chrono::seconds(30)) {
        return test::WaitUntil(
            [&] {
                Tick();
                return done();
            },
            timeout);
    }
    // Ticks until the monitor has taken `n` more readings, the last as `last` where given.
    bool Readings(std::size_t n, std::optional<Step> last = std::nullopt) {
        const std::size_t before = taken.size();
        return StepUntil([&] { return taken.size() >= before + n && (!last || taken.back() == *last); });
    }
    std::unique_ptr<Monitor> core;
    std::vector<std::string> told;
    std::vector<Step> taken;
};

TEST_F(SimSnmpCoreTest, A32BitAgentIsCountedAcrossItsWrapAndNoBadReplyOrRestartPoisonsTheTotals) {
    double rx = k2p32 - 3000000;
    test::SimRouter sim({"--address", "127.0.0.44", "--no-console", "--snmp", "--counter-bits", "32", "--rx-start",
                         std::to_string(static_cast<long long>(rx)), "--tx-start", "1000"});
    Monitor& m = Start("snmp://" + sim.snmp());
    double expected = 0;
    // The counters move by `bytes` (past 2^32 as the agent's do), and that is what is counted.
    auto move = [&](double bytes, const std::string& also = {}) {
        rx = std::fmod(rx + bytes, k2p32);
        expected += bytes;
        sim.Control(also + "rx=" + std::to_string(static_cast<long long>(rx)));
        return StepUntil([&] { return m.traffic().totals().in >= expected; });
    };
    // Several rounds of the agent's answers go by under the monitor.
    auto rounds = [&](int n) {
        const long long answered = sim.Stat("snmp_answers");
        return StepUntil([&] { return sim.Stat("snmp_answers") >= answered + n; });
    };
    ASSERT_TRUE(Readings(1, Step::Baseline));
    ASSERT_TRUE(move(5000000)) << m.traffic().totals().in << " of " << expected;
    EXPECT_EQ(m.traffic().totals().in, expected) << "5 MB across 2^32 on a 100 Mbit line is a wrap";
    for (const char* mode : {"stuck", "huge", "negative", "wrongtype", "malformed", "wrongid", "bigreply"}) {
        sim.Control(std::string("snmp=") + mode);
        ASSERT_TRUE(rounds(3)) << mode;
        ASSERT_TRUE(move(1000000, "snmp=ok&")) << mode << ": " << m.traffic().totals().in - expected;
        EXPECT_EQ(m.traffic().totals().in, expected) << "after mode " << mode;
    }
    EXPECT_EQ(m.traffic().totals().out, 0);
    // A restart (sysUpTime back) and a discontinuity (the counters started
    // again, ifCounterDiscontinuityTime says so): new baselines, nothing counted.
    sim.Control("restart=1");
    rx = 1480;
    ASSERT_TRUE(Readings(1, Step::Restarted));
    ASSERT_TRUE(move(1000000));
    rx += 2000000;
    sim.Control("discontinuity=1&rx=" + std::to_string(static_cast<long long>(rx)));
    ASSERT_TRUE(Readings(1, Step::Baseline)) << "2 MB a line could carry, but the agent says they are no growth";
    ASSERT_TRUE(move(1000000));
    EXPECT_EQ(m.traffic().totals().in, expected);
    // A bad reply is told, once; an agent gone quiet is waited for without
    // blocking a tick, and counted again when it is back.
    EXPECT_EQ(std::count_if(told.begin(), told.end(),
                            [](const std::string& t) { return t.find("gave no byte counters for eth1") != t.npos; }),
              1)
        << told.size();
    sim.Control("snmp=silent");
    const long long asked = sim.Stat("snmp_requests");
    double longest = 0;
    ASSERT_TRUE(StepUntil([&] {
        const auto start = std::chrono::steady_clock::now();
        Tick();
        longest = std::max(longest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        return sim.Stat("snmp_requests") >= asked + 3;
    }));
    EXPECT_LT(longest, 1.0) << "a request waits up to 1.5 s: never on the tick";
    ASSERT_TRUE(move(1000000, "snmp=ok&"));
    EXPECT_EQ(m.traffic().totals().in, expected);
    core->close();
}

TEST_F(SimSnmpCoreTest, CountersRefreshedEveryThreeSecondsShowASteadyRate) {
    test::SimRouter sim({"--address", "127.0.0.45", "--no-web", "--no-console", "--snmp", "--counter-refresh", "3",
                         "--rx-rate", "100000"});
    test::ExpectSteadyRates(Start("snmp://" + sim.snmp()), 100000);
    core->close();
}

// The monitor with "snmp://..." in boot.ini, over the fake windows.
class SnmpProgramTest : public test::ProgramTest {};

TEST_F(SnmpProgramTest, TheMonitorCountsTheInterfacesBytesAndNothingAcrossAnAgentRestart) {
    Snmpd snmpd;
    WriteTotals("0", "0");
    // A gigabit line in the box: the bytes below are never more than it carries.
    test::WriteFile(bootFile(), "[Settings]\nEnabled=True\nIP=snmp://vxtest@" + snmpd.where() +
                                    "\nPassword=x\nSpeed=1G\nInterface=lo\n");
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists());
    frmMain& m = *Default<frmMain>::Peek();
    auto tickUntil = [&](auto done) {
        return test::WaitUntil(
            [&] {
                m.Timer.tick();
                test::SleepMs(50);
                return done();
            },
            std::chrono::seconds(30));
    };
    ASSERT_TRUE(tickUntil([&] { return m.window().caption() == "Vexlo Router Stats"; })) << m.window().caption();
    // v2c needs no cryptography: none is mapped.
    EXPECT_FALSE(test::LibraryLoaded("libcrypto"));
    // Other tests share this loopback, so the bounds leave room for their
    // bytes; counting these twice (or the held counter's jump thrice) would
    // still pass them.
    const double before = m.traffic().totals().in;
    SendThroughLoopback(4000000);
    ASSERT_TRUE(tickUntil([&] { return m.traffic().totals().in - before >= 4000000; }))
        << m.traffic().totals().in - before;
    const double counted = m.traffic().totals().in;
    EXPECT_LT(counted - before, 6000000);
    EXPECT_GE(m.traffic().totals().out, 0.99 * m.traffic().totals().in) << "loopback counts both ways";
    EXPECT_TRUE(S().messageBoxes.empty());

    // Traffic while the agent is away is not counted: its uptime starts again.
    snmpd.Stop();
    SendThroughLoopback(8000000);
    snmpd.Start();
    SendThroughLoopback(1000000);
    ASSERT_TRUE(tickUntil([&] { return m.traffic().totals().in - counted >= 1000000; }));
    EXPECT_LT(m.traffic().totals().in - counted, 5000000) << "the bytes across the restart are not counted";
    m.window().userCloseRequested();
}

// The agent's own count of lo's incoming bytes, once it has refreshed past `atLeast`.
double AgentCountsAtLeast(const Snmpd& snmpd, double atLeast) {
    auto agent = platform::OpenSnmpAgent(Target(snmpd, "snmp://vxtest@"));
    double received = 0;
    test::WaitUntil(
        [&] {
            const std::optional<SnmpAnswer> a = Round(*agent);
            received = a && a->received ? *a->received : 0;
            return received >= atLeast;
        },
        std::chrono::seconds(30));
    return received;
}

TEST_F(SnmpProgramTest, BytesSentWhileVxstatIsClosedAreRecoveredAndNoneAcrossAnAgentRestart) {
    Snmpd snmpd;
    WriteTotals("0", "0");
    test::WriteFile(bootFile(), "[Settings]\nEnabled=True\nIP=snmp://vxtest@" + snmpd.where() +
                                    "\nPassword=x\nSpeed=1G\nInterface=lo\n");
    // The program started from boot.ini, ticked until it has read the agent
    // (and held its first reading against the last run's, where there is one).
    auto start = [&](bool lastRun) -> frmMain& {
        Restart();
        StartProgram();
        fake::ProcessEvents();
        EXPECT_TRUE(Default<frmMain>::Exists());
        frmMain& m = *Default<frmMain>::Peek();
        EXPECT_TRUE(test::WaitUntil(
            [&] {
                m.Timer.tick();
                test::SleepMs(50);
                return m.core().history() && m.window().caption() == "Vexlo Router Stats" &&
                       (m.core().gap() || !lastRun);
            },
            std::chrono::seconds(30)))
            << m.window().caption();
        return m;
    };
    auto recovered = [](const frmMain& m) {
        const HistorySummary s = *m.HistorySummaryNow();
        return s.todayRecovered.in + s.yesterdayRecovered.in;
    };

    // A first run leaves its last reading in the history; no earlier one to recover from.
    frmMain* m = &start(false);
    EXPECT_FALSE(m->core().gap()) << "nothing to recover from yet";
    m->window().userCloseRequested();
    const double closedAt = std::stod(ReadIniValue("TotalStats", "Incoming", statsFile()));

    // Closed: 8 MB through the interface, which the agent counts.
    const double before = AgentCountsAtLeast(snmpd, 0);
    SendThroughLoopback(8000000);
    AgentCountsAtLeast(snmpd, before + 8000000);
    m = &start(true);
    ASSERT_TRUE(m->core().gap());
    EXPECT_EQ(m->core().gap()->gap, Gap::Counted);
    // Other tests share this loopback: room for their bytes.
    EXPECT_GE(m->core().gap()->bytes.in, 8000000);
    EXPECT_LT(m->core().gap()->bytes.in, 12000000);
    EXPECT_EQ(recovered(*m), m->core().gap()->bytes.in) << "shown as recovered";
    EXPECT_GE(m->core().traffic().totals().in - closedAt, 8000000) << "credited to the totals";
    const double recoveredOnce = recovered(*m);
    m->window().userCloseRequested();
    EXPECT_GE(std::stod(ReadIniValue("TotalStats", "Incoming", statsFile())) - closedAt, 8000000)
        << "and to the statistics file";

    // Closed, and the agent restarted meanwhile: its uptime starts again, nothing is credited.
    snmpd.Stop();
    SendThroughLoopback(8000000);
    snmpd.Start();
    m = &start(true);
    EXPECT_EQ(m->core().gap()->gap, Gap::Restarted);
    EXPECT_EQ(recovered(*m), recoveredOnce);
    const double totals = std::stod(ReadIniValue("TotalStats", "Incoming", statsFile()));
    EXPECT_LT(m->core().traffic().totals().in - totals, 4000000);
    m->window().userCloseRequested();
}

TEST_F(SnmpProgramTest, AWrongPassPhraseIsOneProblemThatSaysWhatToCheckAndNoReading) {
    Snmpd snmpd;
    test::WriteFile(bootFile(), "[Settings]\nEnabled=True\nIP=snmpv3://vxuser@" + snmpd.where() +
                                    "\nPassword=not-the-phrase\nSpeed=2meg\nInterface=lo\n");
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists());
    frmMain& m = *Default<frmMain>::Peek();
    // Five refused rounds at least: told once, and still no reading.
    int ticks = 0;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            m.Timer.tick();
            fake::ProcessEvents();
            test::SleepMs(20);
            return ++ticks > 5 && !S().messageBoxes.empty();
        },
        std::chrono::seconds(30)));
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    const std::string& said = S().messageBoxes[0].prompt;
    EXPECT_EQ(said.rfind("The SNMP agent at " + snmpd.where() + " refused user \"vxuser\"", 0), 0u) << said;
    EXPECT_NE(said.find("the pass phrase in the password box"), std::string::npos) << said;
    EXPECT_EQ(S().messageBoxes[0].title, "Problem");
    EXPECT_EQ(m.traffic().totals().in, 0);
    m.window().userCloseRequested();
}

}  // namespace
}  // namespace vx
