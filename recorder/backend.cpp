// The seam for a program with no window (the recorder): files and folders
// from the portable parts, the network from the POSIX ones, and here the
// event loop, posted work, message boxes as log lines and regional text in
// the C locale.
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>

#include "platform/app.h"
#include "platform/posix/folders.h"
#include "recorder/headless.h"
#include "runtime/errors.h"

namespace vx::platform {

namespace {

struct State {
    std::string dataFolder = ".";
    std::function<void()> tick;
    std::function<void()> stop;
    std::mutex postedMutex;
    std::deque<std::function<void()>> posted;
    bool quit = false;
};

constexpr int kErrPathFileAccess = 75;

State& S() {
    static State state;
    return state;
}

sigset_t ShutdownSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

void RunPosted() {
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> lock(S().postedMutex);
            if (S().posted.empty()) return;
            fn = std::move(S().posted.front());
            S().posted.pop_front();
        }
        fn();
    }
}

std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

namespace headless {

void SetDataFolder(const std::string& folder) { S().dataFolder = folder; }
void SetTick(std::function<void()> tick) { S().tick = std::move(tick); }
void SetStop(std::function<void()> stop) { S().stop = std::move(stop); }

void BlockShutdownSignals() {
    const sigset_t set = ShutdownSignals();
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

}  // namespace headless

void InitApplication(int&, char**) {}

std::string AppPath() { return S().dataFolder; }
std::string ProgramFile(const std::string& name) { return AppPath() + "/" + name; }
std::string ProgramExecutable() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("vxstat-recorder") : self.string();
}
bool ProgramFolderIsWritable() { return posix::FolderIsWritable(AppPath()); }
std::string AppTitle() { return "vxstat-recorder"; }
std::string AppFileDescription() { return "vxstat-recorder"; }
std::string CommandLine() { return {}; }

// Nobody is there to press a button: the callers have logged their line
// already; the box's own words go to the log as one line too.
int MsgBox(const std::string& prompt, int, const std::string& title) {
    std::fprintf(stderr, "vxstat-recorder: %s: %s\n", OneLine(title).c_str(), OneLine(prompt).c_str());
    return vbOK;
}

namespace {

std::string LocalNow(const char* format) {
    char text[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(text, sizeof text, format, &local);
    return text;
}

}  // namespace

std::string DateText() { return LocalNow("%Y-%m-%d"); }
std::string TimeText() { return LocalNow("%H:%M:%S"); }

std::string FormatNumber(double value, int decimals) {
    char text[64] = {};
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void Kill(const std::string& path) {
    if (std::remove(path.c_str()) == 0) return;
    if (errno == ENOENT) throw RuntimeError(kErrFileNotFound, "File not found");
    throw RuntimeError(kErrPathFileAccess, "Path/File access error");
}

void End() { std::_Exit(0); }

int RunEventLoop() {
    const sigset_t signals = ShutdownSignals();
    const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    const int timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (signalFd < 0 || timerFd < 0) {
        std::fprintf(stderr, "vxstat-recorder: no event loop: %s\n", LastErrorText().c_str());
        return 1;
    }
    itimerspec every{};
    every.it_interval.tv_sec = 1;
    every.it_value.tv_sec = 1;
    ::timerfd_settime(timerFd, 0, &every, nullptr);
    bool stopping = false;
    while (!S().quit) {
        RunPosted();
        if (S().quit) break;
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {timerFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            while (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                // A second request while the first is handled: at once.
                if (stopping) std::_Exit(128 + static_cast<int>(info.ssi_signo));
                stopping = true;
                std::fprintf(stderr, "vxstat-recorder: signal %u: saving and ending\n", info.ssi_signo);
                if (S().stop) S().stop();
                S().quit = true;
            }
        }
        if (!S().quit && (fds[1].revents & POLLIN)) {
            std::uint64_t expirations = 0;
            // Ticks missed while the host slept are not made up: one step.
            if (::read(timerFd, &expirations, sizeof expirations) > 0 && S().tick) S().tick();
        }
    }
    ::close(timerFd);
    ::close(signalFd);
    return 0;
}

void Quit() { S().quit = true; }

void Post(std::function<void()> fn) {
    std::lock_guard<std::mutex> lock(S().postedMutex);
    S().posted.push_back(std::move(fn));
}

// The recorder holds its data folder with a lock of its own.
bool ClaimSingleInstance(const std::string&, std::function<void()>) { return true; }

}  // namespace vx::platform
