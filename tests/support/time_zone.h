// Sets the process's time zone (TZ) while it lives, and puts back what was
// there before, so that a test's zone never leaks into the next test.
#pragma once

#include <string>

namespace testing_support {

class TimeZoneGuard {
public:
    explicit TimeZoneGuard(const std::string& zone);
    ~TimeZoneGuard();
    TimeZoneGuard(const TimeZoneGuard&) = delete;
    TimeZoneGuard& operator=(const TimeZoneGuard&) = delete;

private:
    bool hadZone_ = false;
    std::string oldZone_;
};

}  // namespace testing_support
