#include "tests/support/locale.h"

#include <clocale>
#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace vx::test {

namespace {

constexpr const char* kName = "de_DE.UTF-8";

#ifndef _WIN32
// Compiled once per test run into a folder of our own; LOCPATH points there.
bool MakeLocale() {
    // One folder a user: another user's is not ours to write.
    const std::string folder = "/tmp/vxstat-test-locales-" + std::to_string(::getuid());
    const std::string command =
        "mkdir -p " + folder + " && localedef -i de_DE -f UTF-8 " + folder + "/" + kName + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return false;
    return setenv("LOCPATH", folder.c_str(), 1) == 0;
}
#endif

}  // namespace

CommaLocale::CommaLocale() {
    active_ = std::setlocale(LC_ALL, kName) != nullptr;
#ifndef _WIN32
    if (!active_ && MakeLocale()) active_ = std::setlocale(LC_ALL, kName) != nullptr;
#endif
}

CommaLocale::~CommaLocale() { std::setlocale(LC_ALL, "C"); }

}  // namespace vx::test
