#include "retrieval/WebStats.h"

#include "platform/app.h"
#include "platform/net.h"
#include "retrieval/RouterMessages.h"
#include "retrieval/WebPage.h"
#include "retrieval/modFunctions.h"
#include "runtime/numtext.h"

namespace vx {

void FetchWebStats(const std::string& sUser, const std::string& sPassword, const std::string& sRouterIP) {
    // Sent as typed: the fetch takes the user-info apart itself.
    const std::string url = "http://" + sUser + ":" + sPassword + "@" + sRouterIP + "/statswan.cmd";
    const platform::UrlResponse response = platform::OpenURL(url);

    switch (ClassifyWebPage(response.body, response.status)) {
        case WebPageVerdict::WrongDetails:
            platform::MsgBox(kWrongDetailsMessage, platform::vbCritical, kProblemTitle);
            return;
        case WebPageVerdict::Busy:
            platform::MsgBox(kRouterBusyMessage, platform::vbCritical, kProblemTitle);
            return;
        case WebPageVerdict::Counters:
            break;
    }

    const WebCounterTexts texts = ParseWebCounters(response.body);
    // Router counters are unsigned and pass 2^31 after 2 GiB; whole numbers up
    // to 2^53 stay exact in a double, and so do their differences.
    // Only a complete reading moves the baseline.
    HandOverReading(ParseCounter(texts.incoming), ParseCounter(texts.outgoing));
}

}  // namespace vx
