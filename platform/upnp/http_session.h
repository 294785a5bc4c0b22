// HTTP for the backends' own workers (the readings' fetch, the UPnP
// gateway's SOAP calls): one connection to the host kept open between
// requests where the server allows it. Not for the layers above the seam.
#pragma once

#include <memory>
#include <string>

#include "platform/net.h"

namespace vx::platform {

class HttpSession {
public:
    virtual ~HttpSession() = default;
    // POSTs `body` with the given content type and one extra header line
    // ("Name: value"); bounded like OpenURL (1 s to connect, 2 s in all,
    // 1 MiB). A transport failure raises a run-time error.
    // GETs `url` as OpenURL does (user-info as basic authentication), with
    // one more header line ("Name: value") when `header` is not empty.
    virtual UrlResponse get(const std::string& url, const std::string& header = {}) = 0;
    virtual UrlResponse post(const std::string& url, const std::string& contentType, const std::string& header,
                             const std::string& body) = 0;
};

// A header line that could split the request (a CR or LF in it) raises a
// run-time error instead of being sent.
void CheckHeaderLine(const std::string& header);

// Made and used on one thread; each session has its own connection.
std::unique_ptr<HttpSession> CreateHttpSession();

}  // namespace vx::platform
