#include "sources/WebSource.h"

#include "platform/app.h"
#include "platform/net.h"
#include "runtime/numtext.h"
#include "sources/RouterMessages.h"
#include "sources/WebPage.h"

namespace vx {

WebSource::WebSource(std::string user, std::string password, std::string address)
    // Sent as typed: the fetch takes the user-info apart itself.
    : url_("http://" + user + ":" + password + "@" + address + "/statswan.cmd") {}

std::optional<Reading> WebSource::poll() {
    const platform::UrlResponse response = platform::OpenURL(url_);

    switch (ClassifyWebPage(response.body, response.status)) {
    case WebPageVerdict::WrongDetails:
        platform::MsgBox(kWrongDetailsMessage, platform::vbCritical, kProblemTitle);
        return std::nullopt;
    case WebPageVerdict::Busy:
        platform::MsgBox(kRouterBusyMessage, platform::vbCritical, kProblemTitle);
        return std::nullopt;
    case WebPageVerdict::Counters: break;
    }

    const WebCounterTexts texts = ParseWebCounters(response.body);
    // Router counters are unsigned and pass 2^31 after 2 GiB; whole numbers up
    // to 2^53 stay exact in a double, and so do their differences.
    return Reading{ParseCounter(texts.incoming), ParseCounter(texts.outgoing)};
}

}  // namespace vx
