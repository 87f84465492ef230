// The picture's title: the charger's model and serial number where the
// file's name carries them (solwatch -o 'log-%m-%s.csv'), and the time span.
#pragma once

#include <string>
#include <vector>

#include "plot/plot_data.h"
#include "plot/recording.h"

namespace tessline {

struct DeviceName {
    std::string model;   // e.g. "Alder 15A mid"; empty when the name has none
    std::string serial;  // e.g. "HQ2042SIM01"
};

DeviceName deviceFromFileName(const std::string& path);

// Throws plot_error naming two files whose names carry different serial
// numbers: a picture draws one charger.
void requireOneCharger(const std::vector<std::string>& paths);

// "Alder 15A mid HQ2042SIM01: Mon 7 Dec 2026, 06:00 to 20:00"; the first
// file's own name ("day.csv", "day.csv and 2 more") stands in for a device
// that no name names.
std::string pictureTitle(const std::vector<std::string>& paths, const PlotData& data);

// "Alder 15A mid HQ2042SIM01: the last 31 days to Mon 7 Dec 2026".
std::string historyTitle(const std::vector<std::string>& paths, const Recording& recording);

}  // namespace tessline
