// Run-time errors of the program, numbered as the classic form runtime numbers
// them, and the "resume next" helper that the polling cycle relies on.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace vx {

enum ErrorNumber : int {
    kErrOverflow = 6,
    kErrTypeMismatch = 13,
    kErrFileNotFound = 53,
    kErrInvalidPropertyValue = 380,
    kErrInvalidProcedureCall = 5,
    kErrSocketNotConnected = 40006,  // wrong protocol or connection state
    kErrInternet = 35750,            // the URL fetch failed
};

class RuntimeError : public std::exception {
public:
    RuntimeError(int number, std::string description) : number_(number), description_(std::move(description)) {}
    int number() const noexcept { return number_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    int number_;
    std::string description_;
};

// Runs one step; a run-time error abandons that step only.
// Returns false when the step failed.
template <class F>
bool ResumeNext(F&& step) {
    try {
        step();
        return true;
    } catch (const RuntimeError&) {
        return false;
    }
}

}  // namespace vx
