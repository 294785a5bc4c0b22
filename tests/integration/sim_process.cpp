#include "tests/integration/sim_process.h"

#include "core/Monitor.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace vx::test {

namespace {

// Refuses to run a network test where it could reach beyond this machine:
// inside a fresh network namespace the only interface is the loopback one.
class PrivateNetworkCheck : public ::testing::Environment {
public:
    void SetUp() override {
        std::ifstream dev("/proc/self/net/dev");
        std::string line;
        std::vector<std::string> interfaces;
        while (std::getline(dev, line)) {
            auto colon = line.find(':');
            if (colon == std::string::npos) continue;
            std::string name = line.substr(0, colon);
            name.erase(0, name.find_first_not_of(' '));
            interfaces.push_back(name);
        }
        bool onlyLoopback = interfaces == std::vector<std::string>{"lo"};
        ASSERT_TRUE(onlyLoopback) << "network tests run only inside a private network namespace: "
                                     "scripts/in-private-net ctest ...";
    }
};

[[maybe_unused]] ::testing::Environment* const g_check = ::testing::AddGlobalTestEnvironment(new PrivateNetworkCheck);

std::pair<std::string, int> SplitHostPort(const std::string& where) {
    auto colon = where.rfind(':');
    if (colon == std::string::npos) throw std::runtime_error("no port in " + where);
    return {where.substr(0, colon), std::stoi(where.substr(colon + 1))};
}

std::string Field(const std::string& line, const std::string& key) {
    auto at = line.find(key + "=");
    if (at == std::string::npos) return {};
    auto start = at + key.size() + 1;
    auto end = line.find_first_of(" \n", start);
    std::string value = line.substr(start, end - start);
    return value == "-" ? std::string() : value;
}

}  // namespace

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

SimRouter::SimRouter(std::vector<std::string> args) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> argv = {VX_PYTHON, VX_SIMROUTER};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"--duration", "120"});
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    int rc = ::posix_spawn(&pid_, VX_PYTHON, &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    out_ = pipeFds[0];
    if (rc != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start the simulated router");
    }

    std::string line;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);  // a Python start on a busy machine
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p{out_, POLLIN, 0};
        char c[256];
        ssize_t n = 0;
        if (left.count() > 0 && ::poll(&p, 1, static_cast<int>(left.count())) > 0) n = ::read(out_, c, sizeof c);
        if (n <= 0) {
            Stop();
            throw std::runtime_error("the simulated router did not come up: " + line);
        }
        line.append(c, static_cast<std::size_t>(n));
    }
    if (line.rfind("simrouter ready", 0) != 0) {
        Stop();
        throw std::runtime_error("unexpected output: " + line);
    }
    web_ = Field(line, "web");
    console_ = Field(line, "console");
    upnp_ = Field(line, "upnp");
    snmp_ = Field(line, "snmp");
}

SimRouter::~SimRouter() { Stop(); }

void SimRouter::Stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        bool gone = false;
        for (int i = 0; i < 300 && !gone; ++i) {
            gone = ::waitpid(pid_, &status, WNOHANG) == pid_;
            if (!gone) SleepMs(10);
        }
        if (!gone) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    if (out_ >= 0) ::close(out_);
    out_ = -1;
}

int SimRouter::consolePort() const { return SplitHostPort(console_).second; }

std::string SimRouter::Control(const std::string& query) {
    auto [host, port] = SplitHostPort(web_);
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    timeval tv{5, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        throw std::runtime_error("cannot reach the simulated router's control");
    }
    std::string request = "GET /simctl?" + query + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n";
    ::send(s, request.data(), request.size(), MSG_NOSIGNAL);
    std::string reply;
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(s, buf, sizeof buf, 0)) > 0) reply.append(buf, static_cast<std::size_t>(n));
    ::close(s);
    auto body = reply.find("\r\n\r\n");
    if (reply.rfind("HTTP/1.0 200", 0) != 0 || body == std::string::npos)
        throw std::runtime_error("control refused: " + reply);
    return reply.substr(body + 4);
}

long long SimRouter::Stat(const std::string& field) {
    std::string json = Control();
    auto at = json.find("\"" + field + "\": ");
    if (at == std::string::npos) throw std::runtime_error("no field " + field + " in " + json);
    return std::stoll(json.substr(at + field.size() + 4));
}

bool SimRouter::WaitForStat(const std::string& field, long long value, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return Stat(field) >= value; }, timeout);
}

ChildProcess::ChildProcess(std::vector<std::string> argv) {
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    if (::posix_spawn(&pid_, cargv[0], nullptr, nullptr, cargv.data(), environ) != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + argv[0]);
    }
}

void ChildProcess::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    if (!WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, std::chrono::seconds(10))) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

namespace {

int Connected(const std::string& host, int port) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    timeval tv{5, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

}  // namespace

bool WaitForListener(const std::string& host, int port, std::chrono::milliseconds timeout) {
    return WaitUntil(
        [&] {
            const int s = Connected(host, port);
            if (s >= 0) ::close(s);
            return s >= 0;
        },
        timeout);
}

std::pair<int, std::string> HttpGet(const std::string& host, int port, const std::string& path,
                                    const std::string& header) {
    const int s = Connected(host, port);
    if (s < 0) return {0, {}};
    const std::string request =
        "GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\n" + (header.empty() ? "" : header + "\r\n") + "\r\n";
    ::send(s, request.data(), request.size(), MSG_NOSIGNAL);
    std::string reply;
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(s, buf, sizeof buf, 0)) > 0) reply.append(buf, static_cast<std::size_t>(n));
    ::close(s);
    const auto body = reply.find("\r\n\r\n");
    if (reply.rfind("HTTP/1.", 0) != 0 || reply.size() < 12 || body == std::string::npos) return {0, {}};
    return {std::atoi(reply.c_str() + 9), reply.substr(body + 4)};
}

int UnusedPort(const std::string& address) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    socklen_t len = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

void ExpectSteadyRates(Monitor& m, double rate) {
    std::vector<double> rates;
    bool silent = false;
    auto next = std::chrono::steady_clock::now();
    for (int tick = 0; tick < 40 && rates.size() < 6; ++tick) {
        next += std::chrono::seconds(1);
        WaitUntil([&] { return std::chrono::steady_clock::now() >= next; });
        const MonitorStep step = m.step();
        if (step.rates && m.traffic().totals().in > 0) rates.push_back(step.rates->in);
        // The first change after the baseline may cover less than a refresh.
        if (rates.size() > 1 && step.silent) silent = true;
    }
    ASSERT_GE(rates.size(), 6u);
    // A change seen a tick or more late (a busy machine) shrinks that rate to
    // 3/4 or 3/5 and stretches the next: still no zero and no burst of a whole
    // refresh's bytes, and the middle of them is the flow's rate.
    std::vector<double> shown(rates.begin() + 1, rates.end());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_GT(shown[i], 0.5 * rate) << "rate " << i + 1;
        EXPECT_LT(shown[i], 2 * rate) << "rate " << i + 1;
    }
    std::nth_element(shown.begin(), shown.begin() + static_cast<long>(shown.size() / 2), shown.end());
    EXPECT_GT(shown[shown.size() / 2], 0.8 * rate);
    EXPECT_LT(shown[shown.size() / 2], 1.25 * rate);
    EXPECT_FALSE(silent);
}

bool LibraryLoaded(const std::string& name) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const auto slash = line.rfind('/');
        if (slash != std::string::npos && line.compare(slash + 1, name.size(), name) == 0) return true;
    }
    return false;
}

}  // namespace vx::test
