// Line speeds: what the speed box says, or what the router reports.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vx {

// Bits a second each way; 0 where unknown.
struct LineSpeed {
    double down = 0;
    double up = 0;
    bool operator==(const LineSpeed&) const = default;
};

// No home line carries more: a router that claims more is not believed, and
// no speed widens what a reading may grow by past this.
inline constexpr double kMaxLineBits = 100e9;

// A speed with a unit: "100M", "100 Mbit", "1G", "1500k", "2.5 Mbit/s", "100 Mbps", or down/up as "100M/40M".
// Units are bits (k = 1,000, M = 1,000,000, G, T). Text without a unit ("512", "2meg", anything else) is no speed:
// such texts keep their old meaning of a display scale.
std::optional<LineSpeed> ParseLineSpeed(std::string_view text);

// What the bars show and how the figures read.
struct Scales {
    float incomingMax = 262144;  // bytes a second at the end of the bar
    float outgoingMax = 32768;
    bool megabytes = false;  // figures from 1,000 k/s on read "M/s" with one decimal
};

// "512" is the small scale (64 k/s in), any other text without a unit the large one (256 k/s in), both with
// 32 k/s out and exact "k/s" figures. A speed with a unit scales both bars to the line: the outgoing one to the
// up speed where one is given.
Scales ScalesFor(const std::string& speedText);
Scales ScalesFor(const LineSpeed& speed);

// A rate (bytes a second) as a figure beside a bar: whole kilobytes rounded down and "k/s", or with
// `megabytes` from 1,000 k/s on "M/s" with one decimal (1 M = 1,024 k).
std::string RateText(double bytesPerSecond, bool megabytes);

// The end of a bar, in its narrow label: as RateText, but whole "M/s" from
// 10 M/s on, rounded ("12M/s" for a 100 Mbit line).
std::string ScaleText(double bytesPerSecond, bool megabytes);

}  // namespace vx
