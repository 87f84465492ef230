#include "plot/plot_title.h"

#include <algorithm>
#include <regex>

#include "plot/time_axis.h"

namespace tessline {

namespace {

std::string baseName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string withoutExtension(const std::string& name) {
    std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string firstMatch(const std::string& text, const std::regex& pattern) {
    std::smatch match;
    return std::regex_search(text, match, pattern) ? match[1].str() : std::string();
}

// The device's model and serial number, or else the file's name.
std::string whoseTable(const std::string& path) {
    DeviceName device = deviceFromFileName(path);
    std::string who = device.model;
    if (!device.serial.empty()) who += (who.empty() ? "" : " ") + device.serial;
    return who.empty() ? baseName(path) : who;
}

}  // namespace

DeviceName deviceFromFileName(const std::string& path) {
    // Serial numbers: two letters, the year and week of making, then a few
    // letters or digits. Models: capitalised words and a voltage|current rating.
    static const std::regex kSerial("(?:^|[^A-Za-z0-9])([A-Z]{2}[0-9]{4}[A-Z0-9]{3,6})(?![A-Za-z0-9])");
    static const std::regex kModel("((?:[A-Z][A-Za-z]* )+[0-9]+\\|[0-9]+(?: Rev[0-9]+)?)");
    std::string name = withoutExtension(baseName(path));
    return DeviceName{firstMatch(name, kModel), firstMatch(name, kSerial)};
}

std::string pictureTitle(const std::string& path, const Recording& recording) {
    std::string who = whoseTable(path);
    if (!recording.timed) return who + ": " + std::to_string(recording.rows()) + " rows of output channels";
    auto range = std::minmax_element(recording.x.begin(), recording.x.end());
    return who + ": " + spanText(*range.first, *range.second);
}

std::string historyTitle(const std::string& path, const Recording& recording) {
    return whoseTable(path) + ": the last " + std::to_string(kHistoryDayCount) + " days to " +
           dateText(recording.history.today);
}

}  // namespace tessline
