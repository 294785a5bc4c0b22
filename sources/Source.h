// Where readings come from: the router's statistics page or its console.
#pragma once

#include <optional>

#include "traffic/Traffic.h"

namespace vx {

class Source {
public:
    virtual ~Source() = default;
    // One tick's work: the reading it completed, or none. May show the
    // "Problem" box; a failed request is simply no reading.
    virtual std::optional<Reading> poll() = 0;
    // The monitor is closing: let go of the router. poll() is not called
    // again, but one may still be running under a message box.
    virtual void close() {}
    // Whether a tick without a reading means the router does not answer;
    // not while a login is under way.
    virtual bool expectsReadings() const { return true; }
    // The line speeds the router reports, once known.
    virtual std::optional<LineSpeed> lineSpeed() const { return std::nullopt; }
};

}  // namespace vx
