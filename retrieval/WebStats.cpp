#include "retrieval/WebStats.h"

#include "runtime/errors.h"

namespace vx {

void FetchWebStats(const std::string&, const std::string&, const std::string&) {
    throw RuntimeError(kErrInternet, "not built yet");
}

}  // namespace vx
