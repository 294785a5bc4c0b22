#include "sources/ConsoleReply.h"

#include "runtime/errors.h"
#include "runtime/numtext.h"

namespace vx {

namespace {

[[noreturn]] void BadCall() { throw RuntimeError(kErrInvalidProcedureCall, "Invalid procedure call or argument"); }

// From the PPP interface's encapsulation to the blank line that ends its block.
std::string_view PppBlock(std::string_view reply) {
    std::size_t start = InStrNoCase(reply, "Point-Point Protocol");
    const std::size_t newer = InStrNoCase(reply, "Point-to-Point Protocol");
    if (start == 0 || (newer != 0 && newer < start)) start = newer;
    if (start == 0) BadCall();
    std::string_view block = reply.substr(start - 1);
    // The first line whose only characters are blanks ends the block.
    std::size_t lineStart = block.find('\n');
    while (lineStart != std::string_view::npos) {
        std::size_t next = block.find('\n', lineStart + 1);
        const std::string_view line =
            block.substr(lineStart + 1, (next == std::string_view::npos ? block.size() : next) - lineStart - 1);
        if (line.find_first_not_of(" \t\r") == std::string_view::npos && next != std::string_view::npos)
            return block.substr(0, lineStart + 1);
        lineStart = next;
    }
    return block;
}

// One figure: past the label and its colon, up to the blank before the
// human-readable size.
std::string Figure(std::string_view block, std::string_view label) {
    const std::size_t at = InStrNoCase(block, label);
    if (at == 0) BadCall();
    std::string_view rest = block.substr(at - 1 + label.size());
    if (rest.empty() || rest.front() != ':') BadCall();
    rest.remove_prefix(1);
    const std::size_t end = InStrNoCase(rest, " (");
    if (end == 0) BadCall();
    return std::string(rest.substr(0, end - 1));
}

}  // namespace

ConsoleCounterTexts ParseConsoleCounters(std::string_view reply) {
    const std::string_view block = PppBlock(reply);
    return ConsoleCounterTexts{Figure(block, "RX bytes"), Figure(block, "TX bytes")};
}

}  // namespace vx
