// Where readings come from: the router's statistics page, its console or its
// UPnP gateway.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "traffic/Problem.h"
#include "traffic/Traffic.h"

namespace vx {

class Source {
public:
    virtual ~Source() = default;
    // One tick's work: the reading it completed, or none; never waits for the
    // router. What the user should be told is kept for takeProblems(); a failed
    // request is simply no reading.
    virtual std::optional<Reading> poll() = 0;
    // The problems found since the last call, oldest first.
    std::vector<Problem> takeProblems() { return std::exchange(problems_, {}); }
    // The source's word for the caption while it gets going ("Connecting",
    // "Sent User", ...); empty once it reads.
    virtual std::string status() const { return {}; }
    // The monitor is closing: let go of the router. poll() is not called
    // again, but one may still be running under a message box.
    virtual void close() {}
    // Whether a tick without a reading means the router does not answer;
    // not while a login is under way.
    virtual bool expectsReadings() const { return true; }
    // The line speeds the router reports, once known.
    virtual std::optional<LineSpeed> lineSpeed() const { return std::nullopt; }
    // Which router this is, where the source finds it out (a gateway found by
    // discovery); none where the address says it.
    virtual std::optional<std::string> identity() const { return std::nullopt; }
    // Which of the router's counters the readings are, where it has several
    // (an SNMP interface's name); empty otherwise.
    virtual std::string countersName() const { return {}; }

protected:
    void tell(Problem::Kind kind, std::string text, bool critical = true) {
        problems_.push_back(Problem{kind, std::move(text), critical});
    }

private:
    std::vector<Problem> problems_;
};

}  // namespace vx
