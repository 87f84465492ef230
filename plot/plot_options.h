// The command line of solwatch-plot and the names of its pictures.
#pragma once

#include <string>
#include <vector>

#include "plot/gnuplot_script.h"

namespace tessline {

struct PlotOptions {
    bool help = false;
    bool version = false;
    std::string input;
    std::string output;         // the day picture
    std::string historyOutput;  // the history picture, when there is one
    PictureKind kind = PictureKind::png;
};

// Parses the arguments after the program name; throws plot_error with the
// line to print for a usage error.
PlotOptions parsePlotOptions(const std::vector<std::string>& args);

// "day.csv" -> "day.png"; "day" -> "day.png".
std::string defaultOutput(const std::string& input);
// "day.png" -> "day-history.png"; "out/day.svg" -> "out/day-history.svg".
std::string historyName(const std::string& output);

extern const char* const kPlotUsage;

}  // namespace tessline
