// solwatch's time stamps ("Mon Dec  7 20:22:35 2026", local time) as seconds
// on a clock that reads the local time as if it were UTC: what gnuplot's
// time axis prints, with no time zone between the file and the picture.
#pragma once

#include <string>
#include <string_view>

namespace tessline {

constexpr double kSecondsPerDay = 86400;

// False for anything but the 24-character form that solwatch writes.
bool parseStamp(std::string_view text, double& seconds);

// A time as the command line gives it, "YYYY-MM-DD" or "YYYY-MM-DD HH:MM",
// on the same clock; `withClock` tells which of the two it was.
bool parseLocalTime(std::string_view text, double& seconds, bool& withClock);

// strftime of the stamp seconds, e.g. "%a %e %b %Y" gives "Mon  7 Dec 2026".
std::string stampText(double seconds, const char* format);

// The start of the stamp's day.
double dayStart(double seconds);

}  // namespace tessline
