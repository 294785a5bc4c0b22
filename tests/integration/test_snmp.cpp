// The SNMP agent client (net-snmp on its worker) against Debian's real agent,
// started here with a configuration of our own, reading the loopback
// interface while the test drives known traffic through it; and the monitor
// reading it from boot.ini.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

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

constexpr const char* kAddress = "127.0.0.41";
constexpr const char* kPassPhrase = "loopback-phrase";

// snmpd in the foreground on kAddress, with a v2c community "vxtest" and a
// v3 user "vxuser" (SHA-256, AES); stopped by its pid.
class Snmpd {
public:
    Snmpd() : port_(test::UnusedPort(kAddress)) {
        test::WriteFile(dir_.file("snmpd.conf"), std::string("rocommunity vxtest 127.0.0.0/8\n") +
                                                     "dontLogTCPWrappersConnects yes\ncreateUser vxuser SHA-256 \"" +
                                                     kPassPhrase + "\" AES \"" + kPassPhrase +
                                                     "\"\nrouser vxuser authpriv\n");
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
    for (const auto& target : {Target(snmpd, "snmp://vxtest@"), Target(snmpd, "snmpv3://vxuser@", kPassPhrase)}) {
        auto a = Round(*platform::OpenSnmpAgent(target));
        ASSERT_TRUE(a);
        EXPECT_EQ(a->failure, SnmpFailure::None) << a->text;
        EXPECT_EQ(a->interfaceName, "lo");
        EXPECT_TRUE(a->counters64) << "Debian's agent has ifHCInOctets";
        ASSERT_TRUE(a->received && a->sent && a->uptime);
        EXPECT_GT(*a->received, 0);
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

// The monitor with "snmp://..." in boot.ini, over the fake windows.
class SnmpProgramTest : public test::ProgramTest {};

TEST_F(SnmpProgramTest, TheMonitorCountsTheInterfacesBytesAndNothingAcrossAnAgentRestart) {
    Snmpd snmpd;
    WriteTotals("0", "0");
    // net-snmp (and the crypto it brings) comes with the first snmp:// address, not before.
    EXPECT_FALSE(test::LibraryLoaded("libnetsnmp"));
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
    EXPECT_TRUE(test::LibraryLoaded("libnetsnmp"));
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
