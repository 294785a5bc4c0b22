// The fake backend's network: scripted pages and a scripted TCP peer. Kept
// apart from the rest of the fake so that a test program can link the real
// network instead and still drive the forms headless.
#include <utility>

#include "platform/fake/fake.h"
#include "runtime/errors.h"

namespace vx {

namespace fake {

void FakeTcpClient::Connect() {
    ++connectCalls;
    state = platform::SocketState::Connected;
}

void FakeTcpClient::GetData(std::string& data) {
    if (state != platform::SocketState::Connected)
        throw RuntimeError(kErrSocketNotConnected,
                           "Wrong protocol or connection state for the requested transaction or request");
    data = std::move(incoming);
    incoming.clear();
}

void FakeTcpClient::SendData(const std::string& data) {
    if (state != platform::SocketState::Connected)
        throw RuntimeError(kErrSocketNotConnected,
                           "Wrong protocol or connection state for the requested transaction or request");
    sent.push_back(data);
}

}  // namespace fake

namespace platform {

UrlResponse OpenURL(const std::string& url) {
    fake::S().urlsFetched.push_back(url);
    if (!fake::S().urlHandler) throw RuntimeError(kErrInternet, "The URL fetch failed");
    return fake::S().urlHandler(url);
}

std::unique_ptr<TcpClient> CreateTcpClient() {
    if (fake::S().tcpFactory) return fake::S().tcpFactory();
    auto client = std::make_unique<fake::FakeTcpClient>();
    fake::S().lastTcpClient = client.get();
    return client;
}

}  // namespace platform

namespace platform {

namespace {

// The scripted page comes at once, digested: a fetch started in a tick is
// there for the same tick to take, as a prompt router's would be by the next.
class FakeUrlFetch : public UrlFetch {
public:
    void start(const std::string& url, Digest digest, const std::string& header) override {
        if (done_) return;
        fake::S().lastFetchHeader = header;
        UrlResponse response;
        try {
            response = OpenURL(url);
        } catch (const RuntimeError& e) {
            done_ = FetchOutcome{std::nullopt, e.what(), {}};
            return;
        }
        done_ = DigestResponse(std::move(response), digest);
    }
    std::optional<FetchOutcome> take() override { return std::exchange(done_, std::nullopt); }

private:
    std::optional<FetchOutcome> done_;
};

// A round finishes just before the next tick looks for it, with the
// gateway's state as it is then.
class FakeGateway : public Gateway {
public:
    void request(bool details) override {
        if (pending_) return;  // one round at a time
        fake::State::Gateway& g = fake::S().gateway;
        ++g.rounds;
        if (details) ++g.detailRounds;
        pending_ = details;
    }
    std::optional<GatewayAnswer> answer() override {
        if (!pending_) return std::nullopt;
        GatewayAnswer a = fake::S().gateway.next;
        if (!*pending_) a.linkDown = a.linkUp = a.uptime = std::nullopt;
        pending_.reset();
        return a;
    }

private:
    std::optional<bool> pending_;  // a round under way, with details or not
};

}  // namespace

std::unique_ptr<UrlFetch> CreateUrlFetch() { return std::make_unique<FakeUrlFetch>(); }

std::unique_ptr<Gateway> OpenGateway(const std::string& location) {
    fake::S().gateway.location = location;
    return std::make_unique<FakeGateway>();
}

}  // namespace platform

}  // namespace vx
