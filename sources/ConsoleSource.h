// The 9106 router's console: a telnet session that logs in, then asks for
// "ifconfig" once a tick and reads the PPP interface's byte counters.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/net.h"
#include "sources/Source.h"

namespace vx {

enum class ConsoleLogin {
    SendUser,      // nothing sent yet
    SendPassword,  // the user name went out
    AwaitPrompt,   // the password went out; the prompt confirms it
    Console,       // logged in: every reply is read for the counters
};

class ConsoleSource : public Source {
public:
    // `showStatus` gets the login's progress: "Sent User", "Sent Password",
    // and "" once logged in. Connecting starts at once.
    ConsoleSource(std::string user, std::string password, std::string address,
                  std::function<void(const std::string&)> showStatus,
                  std::unique_ptr<platform::TcpClient> connection = platform::CreateTcpClient());

    std::optional<Reading> poll() override;
    void close() override;

    ConsoleLogin login() const { return login_; }

private:
    std::string user_;
    std::string password_;
    std::function<void(const std::string&)> showStatus_;
    std::unique_ptr<platform::TcpClient> connection_;
    ConsoleLogin login_ = ConsoleLogin::SendUser;
    bool closed_ = false;
};

}  // namespace vx
