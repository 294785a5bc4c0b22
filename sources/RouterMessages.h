// The "Problem" boxes the readings show.
#pragma once

#include <string>

namespace vx {

inline constexpr const char* kWrongDetailsMessage =
    "Incorrect router details or error fetching information\r\n"
    "Please check your details and try again, if problem\r\n"
    "persists please e-mail a bug report";

inline constexpr const char* kRouterBusyMessage =
    "Your router is currently busy with another session\r\n"
    "Please log out on any other open admin session, if problem\r\n"
    "persists please e-mail a bug report";

inline constexpr const char* kStuckCounterMessage =
    "Your router reports its byte counter as 4294967295, a known firmware fault\r\n"
    "Readings are passed over until the counter moves again";

inline constexpr const char* kProblemTitle = "Problem";

// What failed with the UPnP gateway, and what to do about it.
inline std::string UpnpProblemMessage(const std::string& failure) {
    return "Reading the router over UPnP failed: " + failure +
           "\r\nPlease switch UPnP on in the router's settings; vxstat keeps trying";
}

}  // namespace vx
