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

// The device's model and serial number from the first name that has them,
// or else the first file's name.
std::string whoseTables(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        DeviceName device = deviceFromFileName(path);
        std::string who = device.model;
        if (!device.serial.empty()) who += (who.empty() ? "" : " ") + device.serial;
        if (!who.empty()) return who;
    }
    std::string who = paths.empty() ? "" : baseName(paths.front());
    return paths.size() > 1 ? who + " and " + std::to_string(paths.size() - 1) + " more" : who;
}

}  // namespace

DeviceName deviceFromFileName(const std::string& path) {
    // Serial numbers: two letters, the year and week of making, then a few
    // letters or digits. Models: capitalised words, the charge current, the
    // panel class and maybe a series ("Alder 40A mid s2").
    static const std::regex kSerial("(?:^|[^A-Za-z0-9])([A-Z]{2}[0-9]{4}[A-Z0-9]{3,6})(?![A-Za-z0-9])");
    static const std::regex kModel("((?:[A-Z][A-Za-z]* )+[0-9]+A (?:low|mid|high|top)(?: s[0-9]+)?)(?![A-Za-z0-9])");
    std::string name = withoutExtension(baseName(path));
    return DeviceName{firstMatch(name, kModel), firstMatch(name, kSerial)};
}

void requireOneCharger(const std::vector<std::string>& paths) {
    std::string firstPath, firstSerial;
    for (const std::string& path : paths) {
        std::string serial = deviceFromFileName(path).serial;
        if (serial.empty()) continue;
        if (firstSerial.empty()) firstPath = path, firstSerial = serial;
        else if (serial != firstSerial)
            throw plot_error("two chargers, " + firstSerial + " (" + firstPath + ") and " + serial + " (" + path +
                             "): draw each in a picture of its own");
    }
}

std::string pictureTitle(const std::vector<std::string>& paths, const PlotData& data) {
    std::string who = whoseTables(paths);
    if (!data.timed()) return who + ": " + std::to_string(data.rows()) + " rows of output channels";
    return who + ": " + spanText(data.first(), data.last());
}

std::string historyTitle(const std::vector<std::string>& paths, const Recording& recording) {
    return whoseTables(paths) + ": the last " + std::to_string(kHistoryDayCount) + " days to " +
           dateText(recording.history.today);
}

}  // namespace tessline
