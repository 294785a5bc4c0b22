#include "sources/ConsoleSource.h"

#include "platform/app.h"
#include "runtime/clock.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "sources/ConsoleReply.h"
#include "sources/RouterMessages.h"

namespace vx {

namespace {

const char* const kCrLf = "\r\n";
const char* const kPort = "23";

}  // namespace

ConsoleSource::ConsoleSource(std::string user, std::string password, std::string address,
                             std::function<void(const std::string&)> showStatus,
                             std::unique_ptr<platform::TcpClient> connection)
    : user_(std::move(user)),
      password_(std::move(password)),
      showStatus_(std::move(showStatus)),
      connection_(std::move(connection)) {
    connection_->RemoteHost = address;
    connection_->RemotePort = CLng(std::string_view(kPort));
    connection_->Connect();
}

void ConsoleSource::close() {
    closed_ = true;
    connection_->Close();
}

std::optional<Reading> ConsoleSource::poll() {
    if (closed_) return std::nullopt;
    std::string outgoing;
    std::optional<Reading> reading;

    try {
        std::string received;
        connection_->GetData(received);

        // The login never reads the router's prompts: the timer interval is
        // what gives the router time to answer each line.
        switch (login_) {
        case ConsoleLogin::SendUser:
            outgoing = user_ + kCrLf;
            login_ = ConsoleLogin::SendPassword;
            showStatus_("Sent User");
            break;
        case ConsoleLogin::SendPassword:
            outgoing = password_ + kCrLf;
            login_ = ConsoleLogin::AwaitPrompt;
            showStatus_("Sent Password");
            break;
        case ConsoleLogin::AwaitPrompt:
            if (InStr(received, ">") == 0) {
                platform::MsgBox(kWrongDetailsMessage, platform::vbCritical, kProblemTitle);
                // The box runs its own event loop, in which the monitor
                // may have been closed, and its connection with it.
                return std::nullopt;
            }
            outgoing = std::string("ifconfig") + kCrLf;
            login_ = ConsoleLogin::Console;
            showStatus_("");
            break;
        case ConsoleLogin::Console: {
            outgoing = std::string("ifconfig") + kCrLf;
            const ConsoleCounterTexts texts = ParseConsoleCounters(received);
            reading = Reading{CDbl(texts.rx), CDbl(texts.tx), MonotonicSeconds(), std::nullopt};
            break;
        }
        }
        connection_->SendData(outgoing);
    } catch (const RuntimeError&) {
        // A partial or garbled reply: ask for a fresh one. A failure here (a
        // dead connection) raises to the caller.
        if (login_ == ConsoleLogin::Console) outgoing = std::string("ifconfig") + kCrLf;
        connection_->SendData(outgoing);
    }
    return reading;
}

}  // namespace vx
