// The command line of solwatch-plot and the names of its pictures.
#pragma once

#include <string>
#include <vector>

#include "plot/gnuplot_script.h"
#include "plot/recording.h"

namespace tessline {

struct PlotOptions {
    bool help = false;
    bool version = false;
    std::vector<std::string> inputs;  // the tables, in the order given
    TimeWindow window;                // --from and --to
    std::string windowText;           // the window as given, e.g. "--from 2026-12-07"
    std::string output;         // the day picture
    std::string historyOutput;  // the history picture, when there is one
    PictureKind kind = PictureKind::png;
};

// Parses the arguments after the program name; throws plot_error with the
// line to print for a usage error.
PlotOptions parsePlotOptions(const std::vector<std::string>& args);

// The start of --from TIME or the end of --to TIME ("YYYY-MM-DD" or
// "YYYY-MM-DD HH:MM", local time) in stamp seconds: --to 2026-12-07 ends
// with the day, --to "2026-12-07 12:00" with that minute. Throws plot_error.
double windowEdge(const std::string& option, const std::string& time);

// "day.csv" -> "day.png"; "day" -> "day.png".
std::string defaultOutput(const std::string& input);
// "day.png" -> "day-history.png"; "out/day.svg" -> "out/day-history.svg".
std::string historyName(const std::string& output);

extern const char* const kPlotUsage;

}  // namespace tessline
