#include "sources/ConsoleReply.h"

#include "runtime/numtext.h"

namespace vx {

namespace {

// One figure: from the interface's description line, past the label and the
// colon after it, up to the blank before the human-readable size.
std::string Figure(std::string_view reply, std::string_view label) {
    std::string a = Mid(reply, static_cast<long long>(InStrNoCase(reply, "Point-Point Protocol")));
    a = Mid(a, static_cast<long long>(InStrNoCase(a, label)) + 9);
    return Left(a, static_cast<long long>(InStrNoCase(a, " (")) - 1);
}

}  // namespace

ConsoleCounterTexts ParseConsoleCounters(std::string_view reply) {
    ConsoleCounterTexts result;
    result.rx = Figure(reply, "RX bytes");
    result.tx = Figure(reply, "TX bytes");
    return result;
}

}  // namespace vx
