#include "sources/ConsoleSource.h"

#include <algorithm>

#include "runtime/clock.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "sources/ConsoleReply.h"
#include "sources/RouterMessages.h"

namespace vx {

namespace {

const char* const kCrLf = "\r\n";
const char* const kPort = "23";

// What a console says when it did not take the password: it says so, or asks
// for the login again.
bool LoginRefused(const std::string& answer) {
    return InStrNoCase(answer, "incorrect") > 0 || InStrNoCase(answer, "failed") > 0 ||
           InStrNoCase(answer, "login:") > 0;
}

}  // namespace

ConsoleSource::ConsoleSource(std::string user, std::string password, std::string address,
                             std::unique_ptr<platform::TcpClient> connection)
    : user_(std::move(user)), password_(std::move(password)), connection_(std::move(connection)) {
    connection_->RemoteHost = address;
    connection_->RemotePort = CLng(std::string_view(kPort));
    Connect();
}

void ConsoleSource::close() {
    closed_ = true;
    connection_->Close();
}

void ConsoleSource::Connect() {
    login_ = ConsoleLogin::Connecting;
    waited_ = 0;
    status_ = "Connecting";
    connection_->Connect();
}

// The session is over: closed, and made again after a pause that doubles with
// each failure, up to half a minute.
void ConsoleSource::Drop() {
    connection_->Close();
    login_ = ConsoleLogin::Pause;
    waited_ = 0;
}

void ConsoleSource::RefuseLogin() {
    Drop();
    tell(Problem::Kind::WrongDetails, kWrongDetailsMessage);
}

std::optional<Reading> ConsoleSource::poll() {
    if (closed_) return std::nullopt;
    if (login_ == ConsoleLogin::Pause) {
        if (++waited_ < pause_) return std::nullopt;
        pause_ = std::min(pause_ * 2, kLongestPause);
        Connect();
        return std::nullopt;
    }
    const platform::SocketState state = connection_->State();
    if (state == platform::SocketState::Closed || state == platform::SocketState::Error) {
        Drop();
        return std::nullopt;
    }
    if (state != platform::SocketState::Connected) {
        if (++waited_ >= kSilentTicks) Drop();
        return std::nullopt;
    }
    if (login_ == ConsoleLogin::Connecting) login_ = ConsoleLogin::SendUser;

    // A connection that fails to read or write is as gone as a closed one.
    try {
        std::string received;
        connection_->GetData(received);
        return Step(received);
    } catch (const RuntimeError&) {
        Drop();
        return std::nullopt;
    }
}

std::optional<Reading> ConsoleSource::Step(const std::string& received) {
    // The login reads only the answer to the password: the timer interval is
    // what gives the router time to answer each line.
    switch (login_) {
    case ConsoleLogin::SendUser:
        connection_->SendData(user_ + kCrLf);
        login_ = ConsoleLogin::SendPassword;
        status_ = "Sent User";
        return std::nullopt;
    case ConsoleLogin::SendPassword:
        connection_->SendData(password_ + kCrLf);
        login_ = ConsoleLogin::AwaitPrompt;
        answer_.clear();
        waited_ = 0;
        status_ = "Sent Password";
        return std::nullopt;
    case ConsoleLogin::AwaitPrompt:
        // A busy router or a slow link may take a few ticks to answer.
        answer_ += received;
        if (InStr(answer_, ">") > 0) {
            connection_->SendData(std::string("ifconfig") + kCrLf);
            login_ = ConsoleLogin::Console;
            waited_ = 0;
            firstReading_ = true;
            status_.clear();
        } else if (LoginRefused(answer_) || ++waited_ >= kPromptTicks) {
            RefuseLogin();
        }
        return std::nullopt;
    case ConsoleLogin::Console: return LoggedIn(received);
    case ConsoleLogin::Connecting:
    case ConsoleLogin::Pause: break;
    }
    return std::nullopt;
}

std::optional<Reading> ConsoleSource::LoggedIn(const std::string& received) {
    if (received.empty()) {
        // A console that stopped answering is as good as gone.
        if (++waited_ >= kSilentTicks) Drop();
        return std::nullopt;
    }
    waited_ = 0;
    std::optional<Reading> reading;
    // A partial, garbled or lying reply gives no reading: a fresh one is
    // asked for. Figures are whole numbers, as the page's.
    ResumeNext([&] {
        const ConsoleCounterTexts texts = ParseConsoleCounters(received);
        reading =
            Reading{ParseCounter(texts.rx), ParseCounter(texts.tx), MonotonicSeconds(), std::nullopt, firstReading_};
    });
    if (reading) {
        firstReading_ = false;
        pause_ = 1;
    }
    // A reading taken counts even when asking for the next one fails.
    if (!ResumeNext([&] { connection_->SendData(std::string("ifconfig") + kCrLf); })) Drop();
    return reading;
}

}  // namespace vx
