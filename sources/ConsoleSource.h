// The 9106 router's console: a telnet session that logs in, then asks for
// "ifconfig" once a tick and reads the PPP interface's byte counters. A
// session that closes, is refused or falls silent is closed and made again
// after a growing pause, and the login starts over.
#pragma once

#include <memory>
#include <string>

#include "platform/net.h"
#include "sources/Source.h"

namespace vx {

enum class ConsoleLogin {
    Connecting,    // the connection is being made
    SendUser,      // connected, nothing sent yet
    SendPassword,  // the user name went out
    AwaitPrompt,   // the password went out; the prompt confirms it
    Console,       // logged in: every reply is read for the counters
    Pause,         // the connection was lost: waiting to make it again
};

class ConsoleSource : public Source {
public:
    // Connecting starts at once.
    ConsoleSource(std::string user, std::string password, std::string address,
                  std::unique_ptr<platform::TcpClient> connection = platform::CreateTcpClient());

    std::optional<Reading> poll() override;
    void close() override;
    // The login's progress: "Connecting", "Sent User", "Sent Password", and ""
    // once logged in.
    std::string status() const override { return status_; }
    bool expectsReadings() const override { return login_ == ConsoleLogin::Console || login_ == ConsoleLogin::Pause; }

    ConsoleLogin login() const { return login_; }

    // Ticks the router has to answer: the prompt after the password, a reply
    // after a command, the connection to be made.
    static constexpr int kPromptTicks = 5;
    static constexpr int kSilentTicks = 10;
    static constexpr int kLongestPause = 30;  // ticks between attempts, doubling from 1

private:
    void Connect();
    void Drop();
    std::optional<Reading> Step(const std::string& received);
    std::optional<Reading> LoggedIn(const std::string& received);
    void RefuseLogin();

    std::string user_;
    std::string password_;
    std::string status_;
    std::unique_ptr<platform::TcpClient> connection_;
    ConsoleLogin login_ = ConsoleLogin::Connecting;
    bool closed_ = false;
    int waited_ = 0;      // ticks in this step without what it waits for
    int pause_ = 1;       // the next pause before connecting again
    std::string answer_;  // what came since the password went out
    bool firstReading_ = false;
};

}  // namespace vx
