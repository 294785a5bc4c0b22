// Placeholder until the socket client lands.
#include "platform/net.h"
#include "runtime/errors.h"

namespace vx::platform {
namespace {
class NoClient : public TcpClient {
public:
    void Connect() override {}
    void GetData(std::string&) override { throw RuntimeError(kErrSocketNotConnected, "not connected"); }
    void SendData(const std::string&) override { throw RuntimeError(kErrSocketNotConnected, "not connected"); }
    SocketState State() override { return SocketState::Closed; }
    void Close() override {}
};
}  // namespace
std::unique_ptr<TcpClient> CreateTcpClient() { return std::make_unique<NoClient>(); }
}  // namespace vx::platform
