// Another vxstat's figures: a vxstat-recorder's /api/v1/now, read once a
// tick on the backend's worker. The recorder reads the router and keeps the
// history; a desktop reading it only shows what it says, so that every screen
// in the house shows the same figures and nothing is counted twice.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "history/History.h"
#include "platform/net.h"
#include "sources/Source.h"
#include "traffic/LineSpeed.h"

namespace vx {

// The recorder's port when the address names none.
inline constexpr int kRecorderPort = 9788;

// "vxstat://HOST[:PORT]" as "HOST:PORT" (an IPv6 host in brackets); none for
// any other address, and for one that is not a plain host and port.
std::optional<std::string> RecorderAddress(const std::string& address);
// Whether the address asks for a recorder at all (even a malformed one).
bool NamesRecorder(const std::string& address);

// One answer of the recorder, as far as it made sense.
struct RecorderNow {
    std::uint64_t tick = 0;           // the recorder's tick count: a new one is a new reading
    bool up = false;                  // the recorder's router answers
    std::string status;               // the recorder's caption word
    std::optional<ByteCounts> rates;  // bytes a second; none before the first counted step
    ByteCounts totals;
    int level = 0;  // the tray level, 0..7
    Scales scales;
    std::optional<HistorySummary> summary;  // today, the month, the quota, the last 24 hours and 30 days
};

// What a response of /api/v1/now says: the figures, the token refused, or
// nothing usable. Garbled, hostile or implausible answers are nothing: never
// a figure out of range, never a partial answer.
struct RecorderAnswer {
    bool refused = false;  // 401: the token is wrong or missing
    std::optional<RecorderNow> now;
};
RecorderAnswer ReadRecorderAnswer(long status, const std::string& body);

class RecorderSource : public Source {
public:
    // `hostPort` as RecorderAddress gives it; `token` goes out as a bearer
    // token when not empty.
    RecorderSource(std::string hostPort, std::string token);
    // The recorder's running totals as a reading, when an answer came.
    std::optional<Reading> poll() override;
    std::string status() const override { return answered_ ? std::string() : std::string("Connecting"); }
    // The last answer, once: none when this tick brought none.
    std::optional<RecorderNow> takeAnswer() { return std::exchange(answer_, std::nullopt); }
    const std::string& hostPort() const { return hostPort_; }

private:
    std::string hostPort_;
    std::string url_;
    std::string header_;
    std::unique_ptr<platform::UrlFetch> fetch_ = platform::CreateUrlFetch();
    platform::UrlFetch::Digest digest_;
    std::optional<RecorderNow> answer_;
    bool answered_ = false;
    bool refusalTold_ = false;  // told once until the token is taken again
};

// The box for a refused token.
std::string RecorderRefusedText(const std::string& hostPort);

}  // namespace vx
