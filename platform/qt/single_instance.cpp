// One running program per set of files: a Unix socket in the abstract
// namespace, named from the user and the files. The holder listens on it; a
// later start that finds the name taken connects, says so and ends. The name
// goes with the holder's last descriptor, so a crashed holder leaves nothing
// stale behind.
#include <QSocketNotifier>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/app.h"
#include "platform/qt/qt_backend.h"

namespace vx::platform {

namespace {

struct Holder {
    std::string key;
    int fd = -1;
    QSocketNotifier* notifier = nullptr;
    std::function<void()> onRaise;
};

Holder& Held() {
    static Holder holder;
    return holder;
}

// "\0vxstat-<uid>-<hash of the key>": abstract names are shared by every
// user of the network namespace.
sockaddr_un AddressOf(const std::string& key, socklen_t& length) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
    for (char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    char name[64];
    const int n = std::snprintf(name, sizeof name, "vxstat-%u-%016llx", static_cast<unsigned>(::getuid()),
                                static_cast<unsigned long long>(hash));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name, static_cast<std::size_t>(n));
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<std::size_t>(n));
    return address;
}

// A later start knocked: come forward, whatever it wrote. Only the same user
// may ask.
void Answer() {
    const int peer = ::accept4(Held().fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (peer < 0) return;
    ucred credentials{};
    socklen_t size = sizeof credentials;
    const bool sameUser =
        ::getsockopt(peer, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && credentials.uid == ::getuid();
    ::close(peer);
    if (sameUser && Held().onRaise) Held().onRaise();
}

// True when the holder took the knock: its listening socket accepted us. What
// we write is only a courtesy: the holder comes forward at the connection and
// may already have closed it (a busy machine can hold us between the two),
// which must not count as nobody being there.
bool Knock(const sockaddr_un& address, socklen_t length) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool answered = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    if (answered) {
        static const char kLine[] = "raise\n";
        static_cast<void>(::send(fd, kLine, sizeof kLine - 1, MSG_NOSIGNAL));
    }
    ::close(fd);
    return answered;
}

}  // namespace

bool ClaimSingleInstance(const std::string& key, std::function<void()> onRaise) {
    Holder& held = Held();
    if (held.fd >= 0 && held.key == key) {
        held.onRaise = std::move(onRaise);
        return true;
    }
    socklen_t length = 0;
    const sockaddr_un address = AddressOf(key, length);
    // A holder that is just ending lets go of the name between our tries.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) return true;  // no way to tell: better two monitors than none
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 && ::listen(fd, 8) == 0) {
            if (held.fd >= 0) {  // another set of files (tests): this one from now on
                delete held.notifier;
                ::close(held.fd);
            }
            held = Holder{key, fd, new QSocketNotifier(fd, QSocketNotifier::Read), std::move(onRaise)};
            QObject::connect(held.notifier, &QSocketNotifier::activated, held.notifier, [] { Answer(); });
            return true;
        }
        const int error = errno;
        ::close(fd);
        if (error != EADDRINUSE) return true;
        if (Knock(address, length)) return false;
    }
    return true;
}

}  // namespace vx::platform
