// A comma-decimal locale (de_DE) in force for the C library while the object
// lives, made with localedef in a private folder when the machine has none.
#pragma once

#include <string>

namespace vx::test {

class CommaLocale {
public:
    CommaLocale();
    ~CommaLocale();
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;
    bool active() const { return active_; }

private:
    bool active_ = false;
};

}  // namespace vx::test
