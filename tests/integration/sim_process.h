// The simulated router as a child process of a test: started on a loopback
// address, waited for until it listens, stopped by its pid when the test
// ends, passed or not.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace vx {
class Monitor;
}

namespace vx::test {

class SimRouter {
public:
    // Starts tools/simrouter.py with these arguments (plus a --duration as a
    // safety net) and waits for its ready line. Throws std::runtime_error
    // when it does not come up.
    explicit SimRouter(std::vector<std::string> args);
    ~SimRouter();
    SimRouter(const SimRouter&) = delete;
    SimRouter& operator=(const SimRouter&) = delete;

    const std::string& web() const { return web_; }          // "127.0.0.N:PORT", empty when off
    const std::string& console() const { return console_; }  // the same for the console
    const std::string& upnp() const { return upnp_; }        // the gateway's description URL, empty when off
    const std::string& snmp() const { return snmp_; }        // the SNMP agent's "127.0.0.N:PORT", empty when off
    int consolePort() const;

    // GET /simctl?query over a plain socket (not the code under test);
    // returns the JSON body. Throws std::runtime_error on failure.
    std::string Control(const std::string& query = "");
    // One whole-number field of the state.
    long long Stat(const std::string& field);
    // Waits until Stat(field) >= value; false after the time-out.
    bool WaitForStat(const std::string& field, long long value,
                     std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    void Stop();

    pid_t pid_ = -1;
    int out_ = -1;
    std::string web_;
    std::string console_;
    std::string upnp_;
    std::string snmp_;
};

// One of this project's programs started by a test (the recorder), ended by
// its pid when the test ends, passed or not.
class ChildProcess {
public:
    explicit ChildProcess(std::vector<std::string> argv);  // throws std::runtime_error when it cannot start
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // SIGTERM, then SIGKILL when it has not ended within a few seconds.
    void Stop();

private:
    pid_t pid_ = -1;
};

// Waits until something accepts TCP connections on host:port.
bool WaitForListener(const std::string& host, int port, std::chrono::milliseconds timeout);

// GET over a plain socket (not the code under test), with one more header
// line when not empty: the status and the body; status 0 when it failed.
std::pair<int, std::string> HttpGet(const std::string& host, int port, const std::string& path,
                                    const std::string& header = {});

void SleepMs(int ms);

// A loopback port on which nothing listens (bound, then released).
int UnusedPort(const std::string& address);

// Steps the monitor once a second, as the window's timer does, under a steady
// `rate` of incoming bytes through counters the router refreshes only every few
// seconds: every rate it shows is the flow's (never 0, never a refresh's worth
// at once), and it never falls silent.
void ExpectSteadyRates(Monitor& m, double rate);

// Whether a shared library whose file name begins with `name` is mapped into
// this process now.
bool LibraryLoaded(const std::string& name);

// Waits, polling every few milliseconds, until done() holds or time is up.
template <class F>
bool WaitUntil(F done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        SleepMs(10);
    }
    return true;
}

}  // namespace vx::test
