// Locks on a slot of a lock file: open-file-description locks on Linux (not
// dropped when another descriptor of the file closes, and apart even within
// one process), LockFileEx on Windows. Both end with the process.
#include "platform/app.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vx::platform {

namespace {

#ifdef _WIN32
class HeldSlot : public FileLock {
public:
    HeldSlot(HANDLE file, std::uint64_t slot) : file_(file), slot_(slot) {}
    ~HeldSlot() override {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(slot_);
        at.OffsetHigh = static_cast<DWORD>(slot_ >> 32);
        ::UnlockFileEx(file_, 0, 1, 0, &at);
        ::CloseHandle(file_);
    }
    HeldSlot(const HeldSlot&) = delete;
    HeldSlot& operator=(const HeldSlot&) = delete;

private:
    HANDLE file_;
    std::uint64_t slot_;
};
#else
class HeldSlot : public FileLock {
public:
    explicit HeldSlot(int fd) : fd_(fd) {}
    ~HeldSlot() override { ::close(fd_); }
    HeldSlot(const HeldSlot&) = delete;
    HeldSlot& operator=(const HeldSlot&) = delete;

private:
    int fd_;
};
#endif

}  // namespace

std::unique_ptr<FileLock> LockFileSlot(const std::string& lockFile, std::uint64_t slot, bool& heldElsewhere) {
    heldElsewhere = false;
#ifdef _WIN32
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, lockFile.c_str(), -1, nullptr, 0);
    std::wstring name(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, lockFile.c_str(), -1, name.data(), length);
    const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(slot);
    at.OffsetHigh = static_cast<DWORD>(slot >> 32);
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = ::GetLastError();
        heldElsewhere = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING;
        ::CloseHandle(file);
        ::SetLastError(error);
        return nullptr;
    }
    return std::make_unique<HeldSlot>(file, slot);
#else
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(slot & 0x3fffffffffffffffULL);
    lock.l_len = 1;
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        const int error = errno;
        heldElsewhere = error == EAGAIN || error == EACCES;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    return std::make_unique<HeldSlot>(fd);
#endif
}

}  // namespace vx::platform
