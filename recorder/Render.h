// What the recorder answers, as text: Prometheus's exposition format and
// JSON, from a snapshot or the history file.
#pragma once

#include <optional>
#include <string>

#include "recorder/Snapshot.h"

namespace vx::recorder {

// /metrics: Prometheus's text format, version 0.0.4.
std::string MetricsText(const Snapshot& snapshot);
// /api/v1/now: rates, totals, status, today, this billing month, the quota
// and the last 24 hours.
std::string NowJson(const Snapshot& snapshot);
// /api/v1/history/{hours,days,months}: the figures `vxstat --history`
// prints, for each router the file keeps. None for another view; `status`
// 500 with an error object when the file cannot be read.
std::optional<std::string> HistoryJson(const std::string& view, const std::string& historyFile, std::int64_t now,
                                       int monthStartDay, std::optional<double> quota, int& status);

}  // namespace vx::recorder
