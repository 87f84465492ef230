// Calendar time of the C library, the same on every system the program is
// built for: the reentrant conversions have other names (or none) outside
// POSIX, and Windows' strftime writes a zone's name for %z.
#pragma once

#include <ctime>
#include <string>

namespace tessline {

// Times after January 2038 need 64 bits; 32-bit Windows builds get them
// from cmake/i686-w64-mingw32.cmake.
static_assert(sizeof(std::time_t) >= 8, "a 32-bit time_t ends in January 2038");

// The local time or UTC of `time`; false when it cannot be represented.
bool toLocalTime(std::time_t time, std::tm& out);
bool toUtcTime(std::time_t time, std::tm& out);

// `time` in the C library's ctime form without its line end, as in
// "Thu Apr  7 14:03:09 2016" ("Thu Apr 07 ..." from Windows' C library);
// "" when it cannot be represented.
std::string ctimeText(std::time_t time);

// The local time's offset from UTC at `time` as strftime's %z gives it on
// POSIX systems: "+0100", "-0330".
std::string utcOffsetText(std::time_t time);

}  // namespace tessline
