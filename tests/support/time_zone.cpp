#include "tests/support/time_zone.h"

#include <cstdlib>
#include <ctime>

namespace testing_support {

namespace {

// Windows' C runtime has no setenv: _putenv_s sets TZ, and an empty value
// removes it.
void setZone(const char* zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone ? zone : "");
    _tzset();
#else
    zone ? ::setenv("TZ", zone, 1) : ::unsetenv("TZ");
    ::tzset();
#endif
}

}  // namespace

TimeZoneGuard::TimeZoneGuard(const std::string& zone) {
    if (const char* old = std::getenv("TZ")) {
        hadZone_ = true;
        oldZone_ = old;
    }
    setZone(zone.c_str());
}

TimeZoneGuard::~TimeZoneGuard() {
    setZone(hadZone_ ? oldZone_.c_str() : nullptr);
}

}  // namespace testing_support
