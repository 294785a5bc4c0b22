// Placeholder until the libcurl fetch lands.
#include "platform/net.h"
#include "runtime/errors.h"

namespace vx::platform {
UrlResponse OpenURL(const std::string&) { throw RuntimeError(kErrInternet, "The URL fetch is not built yet"); }
}  // namespace vx::platform
