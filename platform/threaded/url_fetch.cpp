// The readings' fetch on a worker thread with an HTTP session of its own.
#include <exception>
#include <utility>

#include "platform/net.h"
#include "platform/threaded/worker.h"
#include "platform/upnp/http_session.h"

namespace vx::platform {

namespace {

struct Request {
    std::string url;
    UrlFetch::Digest digest;
    std::string header;
};

class WorkerFetch : public UrlFetch {
public:
    void start(const std::string& url, Digest digest, const std::string& header) override {
        worker_.start(Request{url, std::move(digest), header});
    }
    std::optional<FetchOutcome> take() override { return worker_.take(); }

private:
    Worker<Request, FetchOutcome> worker_{[http = std::shared_ptr<HttpSession>()](const Request& request) mutable {
        UrlResponse response;
        try {
            if (!http) http = CreateHttpSession();
            response = http->get(request.url, request.header);
        } catch (const std::exception& e) {
            FetchOutcome failed;
            failed.error = e.what();
            return failed;
        }
        return DigestResponse(std::move(response), request.digest);
    }};
};

}  // namespace

std::unique_ptr<UrlFetch> CreateUrlFetch() { return std::make_unique<WorkerFetch>(); }

}  // namespace vx::platform
