#include "platform/civil_time.h"

namespace tessline {

bool toLocalTime(std::time_t time, std::tm& out) { return localtime_r(&time, &out) != nullptr; }

bool toUtcTime(std::time_t time, std::tm& out) { return gmtime_r(&time, &out) != nullptr; }

std::string ctimeText(std::time_t time) {
    char buffer[32];
    std::string text = ctime_r(&time, buffer) ? buffer : "";
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string utcOffsetText(std::time_t time) {
    std::tm local{};
    if (!toLocalTime(time, local)) return "";
    char text[16];
    return std::string(text, std::strftime(text, sizeof text, "%z", &local));
}

}  // namespace tessline
