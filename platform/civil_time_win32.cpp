#include "platform/civil_time.h"

#include <cstdio>
#include <cstdlib>

namespace tessline {

bool toLocalTime(std::time_t time, std::tm& out) { return localtime_s(&out, &time) == 0; }

bool toUtcTime(std::time_t time, std::tm& out) { return gmtime_s(&out, &time) == 0; }

std::string ctimeText(std::time_t time) {
    char buffer[32];
    if (ctime_s(buffer, sizeof buffer, &time) != 0) return "";
    std::string text = buffer;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string utcOffsetText(std::time_t time) {
    std::tm local{};
    if (!toLocalTime(time, local)) return "";
    // The local wall clock read as if it were UTC, less the moment itself.
    const long long offset = static_cast<long long>(_mkgmtime(&local)) - static_cast<long long>(time);
    const long long minutes = (offset < 0 ? -offset : offset) / 60;
    char text[16];
    std::snprintf(text, sizeof text, "%c%02lld%02lld", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

}  // namespace tessline
