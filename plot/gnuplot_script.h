// gnuplot scripts for the day picture and the history picture. Each script
// reads data files of fixed names from its working folder and writes the
// picture to standard output, so that no name from outside (the input, the
// output, a folder) ever appears in it; the title, the one text from outside,
// goes in as a quoted string that nothing can end early.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plot/plot_data.h"
#include "plot/recording.h"

namespace tessline {

enum class PictureKind { png, svg };

struct PlotJob {
    std::string script;
    std::vector<std::pair<std::string, std::string>> files;  // name, content
};

// A gnuplot string that prints `text` as it is: in single quotes, where
// gnuplot expands nothing (no backquotes, no macros, no escapes), with a
// quote doubled; control characters and broken UTF-8 become '?', and a very
// long text is cut.
std::string gnuplotString(std::string_view text);

// Panels on one time axis: panel power (or the panel voltage of the
// channels table), battery voltage with the charge current on a second
// axis, the load current where the table has it, and the charge states as
// coloured bands under them. `recording` gives the tables' facts, `data`
// their rows.
PlotJob dayPicture(const Recording& recording, const PlotData& data, const std::string& title, PictureKind kind);

// The daily yield of the last 31 days as bars, the maximum power as points.
// Only for a recording whose history has any day.
PlotJob historyPicture(const Recording& recording, const std::string& title, PictureKind kind);

}  // namespace tessline
