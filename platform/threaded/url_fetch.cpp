// The readings' fetch on a worker thread with an HTTP session of its own.
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/net.h"
#include "platform/upnp/http_session.h"

namespace vx::platform {

namespace {

// What the worker and the owner share; the worker may outlive the owner
// (a request that is still waiting for its time-out when the program closes).
struct Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::optional<std::string> url;  // asked for, not yet finished
    std::optional<FetchOutcome> done;
    bool quit = false;
};

void Work(const std::shared_ptr<Shared>& shared) {
    std::unique_ptr<HttpSession> http;
    for (;;) {
        std::string url;
        {
            std::unique_lock<std::mutex> lock(shared->mutex);
            shared->wake.wait(lock, [&] { return shared->quit || (shared->url && !shared->done); });
            if (shared->quit) return;
            url = *shared->url;
        }
        FetchOutcome outcome;
        try {
            if (!http) http = CreateHttpSession();
            outcome.response = http->get(url);
        } catch (const std::exception& e) {
            outcome.error = e.what();
        }
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->done = std::move(outcome);
    }
}

class WorkerFetch : public UrlFetch {
public:
    WorkerFetch() : shared_(std::make_shared<Shared>()) {
        std::thread([shared = shared_] { Work(shared); }).detach();
    }
    ~WorkerFetch() override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->quit = true;
        shared_->wake.notify_one();
    }
    WorkerFetch(const WorkerFetch&) = delete;
    WorkerFetch& operator=(const WorkerFetch&) = delete;

    void start(const std::string& url) override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->url) return;
        shared_->url = url;
        shared_->wake.notify_one();
    }

    std::optional<FetchOutcome> take() override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (!shared_->done) return std::nullopt;
        shared_->url.reset();
        return std::exchange(shared_->done, std::nullopt);
    }

private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace

std::unique_ptr<UrlFetch> CreateUrlFetch() { return std::make_unique<WorkerFetch>(); }

}  // namespace vx::platform
