// The readings' fetch on a worker thread with an HTTP session of its own.
#include <exception>

#include "platform/net.h"
#include "platform/threaded/worker.h"
#include "platform/upnp/http_session.h"

namespace vx::platform {

namespace {

class WorkerFetch : public UrlFetch {
public:
    void start(const std::string& url) override { worker_.start(url); }
    std::optional<FetchOutcome> take() override { return worker_.take(); }

private:
    Worker<std::string, FetchOutcome> worker_{[http = std::shared_ptr<HttpSession>()](const std::string& url) mutable {
        FetchOutcome outcome;
        try {
            if (!http) http = CreateHttpSession();
            outcome.response = http->get(url);
        } catch (const std::exception& e) {
            outcome.error = e.what();
        }
        return outcome;
    }};
};

}  // namespace

std::unique_ptr<UrlFetch> CreateUrlFetch() { return std::make_unique<WorkerFetch>(); }

}  // namespace vx::platform
