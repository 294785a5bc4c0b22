// One job at a time on a thread of its own, for the backends' network work:
// start() and take() never wait for the job. The thread may outlive its owner
// (a request still waiting for its time-out when the program closes): it only
// touches what it shares with the owner, and stops after its job.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace vx::platform {

template <class Job, class Result>
class Worker {
public:
    // `run` does one job on the worker thread, and only there; it keeps what
    // it needs between jobs (a kept connection, a found gateway) itself.
    explicit Worker(std::function<Result(const Job&)> run) : shared_(std::make_shared<Shared>()) {
        std::thread([shared = shared_, run = std::move(run)] { Loop(*shared, run); }).detach();
    }
    ~Worker() {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->quit = true;
        shared_->wake.notify_one();
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts the job unless one is under way (or its result not yet taken).
    void start(Job job) {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->job) return;
        shared_->job = std::move(job);
        shared_->wake.notify_one();
    }

    // The finished job's result, once.
    std::optional<Result> take() {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (!shared_->done) return std::nullopt;
        shared_->job.reset();
        return std::exchange(shared_->done, std::nullopt);
    }

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable wake;
        std::optional<Job> job;  // asked for; cleared when its result is taken
        std::optional<Result> done;
        bool quit = false;
    };

    static void Loop(Shared& shared, const std::function<Result(const Job&)>& run) {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> lock(shared.mutex);
                shared.wake.wait(lock, [&] { return shared.quit || (shared.job && !shared.done); });
                if (shared.quit) return;
                job = *shared.job;
            }
            Result result = run(job);
            std::lock_guard<std::mutex> lock(shared.mutex);
            shared.done = std::move(result);
        }
    }

    std::shared_ptr<Shared> shared_;
};

}  // namespace vx::platform
