#pragma once

#include <string>

namespace vx {

// The login state: empty, "NeedToSendPassword", "SentPasswordNeedConfirm" or
// "Console" (final).
extern std::string strTelnetState;
// A first console reading exists; the totals grow only from then on.
extern bool blnHaveBaseline;

// One step of the 9106 console session: logs in over the monitor's open
// connection, then reads "ifconfig" once a tick into the hand-over labels and
// the running totals.
void PollTelnetStats(const std::string& sUser, const std::string& sPassword, const std::string& unused);

// Back to the start of a session (a new run).
void ResetTelnetState();

}  // namespace vx
