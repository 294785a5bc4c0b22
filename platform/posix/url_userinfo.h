// Taking the user-info out of a URL, so that user names and passwords holding
// '@', ':' or '/' still go out exactly as typed.
#pragma once

#include <string>

namespace vx::platform {

struct UrlWithoutUserInfo {
    std::string url;  // the URL with "user:password@" removed
    bool hasUserInfo = false;
    std::string user;
    std::string password;
};

// The user-info runs from after "://" to the LAST '@' of the URL (our paths
// never hold one, while passwords may); the FIRST ':' in it splits user from
// password (basic authentication cannot carry a ':' in a user name, a
// password may hold any number). No '@': the URL has no user-info.
UrlWithoutUserInfo SplitUserInfo(const std::string& url);

}  // namespace vx::platform
