#include "tests/support/time_zone.h"

#include <cstdlib>
#include <ctime>

namespace testing_support {

TimeZoneGuard::TimeZoneGuard(const std::string& zone) {
    if (const char* old = std::getenv("TZ")) {
        hadZone_ = true;
        oldZone_ = old;
    }
    ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
}

TimeZoneGuard::~TimeZoneGuard() {
    hadZone_ ? ::setenv("TZ", oldZone_.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

}  // namespace testing_support
