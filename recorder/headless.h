// The recorder's backend: the seam without a window. One event loop on the
// main thread that ticks once a second and ends on SIGTERM, SIGINT or SIGHUP.
#pragma once

#include <functional>
#include <string>

namespace vx::platform::headless {

// The folder the program's files live in (its "program folder"): the
// recorder's data folder. Set before anything asks for a file.
void SetDataFolder(const std::string& folder);

// Runs `tick` once a second from RunEventLoop(), and `stop` once when the
// process is asked to end (a second such signal ends it at once).
void SetTick(std::function<void()> tick);
void SetStop(std::function<void()> stop);

// Puts the signals above under the event loop's control; call before any
// thread is started, so that they all inherit the mask.
void BlockShutdownSignals();

}  // namespace vx::platform::headless
