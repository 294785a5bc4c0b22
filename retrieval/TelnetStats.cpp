#include "retrieval/TelnetStats.h"

#include "monitor/frmMain.h"
#include "platform/app.h"
#include "platform/net.h"
#include "retrieval/ConsoleReply.h"
#include "retrieval/RouterMessages.h"
#include "retrieval/modFunctions.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"

namespace vx {

std::string strTelnetState;
bool blnHaveBaseline = false;

namespace {

const char* const kCrLf = "\r\n";

// One console reading: rates into the hand-over labels, positive deltas into
// the running totals.
void TakeReading(const std::string& received) {
    const ConsoleCounterTexts texts = ParseConsoleCounters(received);
    const double rx = CDbl(texts.rx);
    const double tx = CDbl(texts.tx);
    const ReadingDeltas d = HandOverReading(rx, tx);
    const double dRx = d.incoming;
    const double dTx = d.outgoing;

    // The first reading is the router's whole count since it started, not
    // traffic of this run. After that each direction counts on its own; a
    // counter that went back (router restart) adds nothing.
    if (blnHaveBaseline) {
        if (dRx > 0) dblTotalIncoming += dRx;
        if (dTx > 0) dblTotalOutgoing += dTx;
    } else {
        blnHaveBaseline = true;
    }
}

}  // namespace

void PollTelnetStats(const std::string& sUser, const std::string& sPassword, const std::string& /*unused*/) {
    frmMain& monitor = Default<frmMain>::Get();
    platform::TcpClient& winsock = *monitor.winsock;
    std::string outgoing;

    try {
        std::string received;
        winsock.GetData(received);

        // The login never reads the router's prompts: the timer interval is
        // what gives the router time to answer each line.
        if (strTelnetState.empty()) {
            outgoing = sUser + kCrLf;
            strTelnetState = "NeedToSendPassword";
            monitor.window().setCaption("Vexlo Router Stats - Sent User");
        } else if (strTelnetState == "NeedToSendPassword") {
            outgoing = sPassword + kCrLf;
            strTelnetState = "SentPasswordNeedConfirm";
            monitor.window().setCaption("Vexlo Router Stats - Sent Password");
        } else if (InStr(received, ">") > 0 && strTelnetState == "SentPasswordNeedConfirm") {
            outgoing = std::string("ifconfig") + kCrLf;
            strTelnetState = "Console";
            monitor.window().setCaption("Vexlo Router Stats");
        } else if (strTelnetState != "Console") {
            platform::MsgBox(kWrongDetailsMessage, platform::vbCritical, kProblemTitle);
            // The box runs its own event loop, in which the monitor may have
            // been closed; its connection is gone then.
            if (Default<frmMain>::Peek() != &monitor) return;
        } else {
            TakeReading(received);
            outgoing = std::string("ifconfig") + kCrLf;
        }

        winsock.SendData(outgoing);
    } catch (const RuntimeError&) {
        // A partial or garbled reply: ask for a fresh one. A failure here
        // (a dead connection) leaves the routine.
        if (strTelnetState == "Console") outgoing = std::string("ifconfig") + kCrLf;
        winsock.SendData(outgoing);
    }
}

void ResetTelnetState() {
    strTelnetState.clear();
    blnHaveBaseline = false;
}

}  // namespace vx
