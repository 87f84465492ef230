#include "plot/plot_options.h"

#include <strings.h>

#include "plot/recording.h"
#include "plot/stamp_time.h"

namespace tessline {

namespace {

// The position of the extension's dot in the last part of the path, or npos.
std::size_t extensionDot(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.find_last_of('.');
    return dot == std::string::npos || dot <= start ? std::string::npos : dot;
}

PictureKind kindOf(const std::string& output) {
    std::size_t dot = extensionDot(output);
    std::string extension = dot == std::string::npos ? "" : output.substr(dot + 1);
    if (strcasecmp(extension.c_str(), "png") == 0) return PictureKind::png;
    if (strcasecmp(extension.c_str(), "svg") == 0) return PictureKind::svg;
    throw plot_error("the picture's name must end in .png or .svg: " + output);
}

// The value of an option given as "--name VALUE" or "--name=VALUE"; false
// for another argument.
bool optionValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name, std::string& value) {
    const std::string& arg = args[i];
    if (arg.rfind(name + "=", 0) == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    if (arg != name) return false;
    if (++i == args.size()) throw plot_error("option " + name + " needs a value");
    value = args[i];
    return true;
}

void setWindowEdge(PlotOptions& options, const std::string& option, const std::string& time) {
    (option == "--from" ? options.window.from : options.window.to) = windowEdge(option, time);
    options.windowText += (options.windowText.empty() ? "" : " ") + option + " " + time;
}

}  // namespace

const char* const kPlotUsage =
    "usage: solwatch-plot TABLE.csv... [-o PICTURE.png|PICTURE.svg]\n"
    "                     [--from TIME] [--to TIME]\n"
    "Draws tables that solwatch wrote as a picture (PNG or SVG, by the extension;\n"
    "default: the first table's name with .png). Several tables of one charger\n"
    "(a file a day) are drawn as one span in time order. A table with the history\n"
    "records also gives PICTURE-history.png with the daily yield of the last 31 days.\n"
    "  -o, --output PICTURE  where to write the picture\n"
    "  --from TIME           leave out the rows before TIME (local time,\n"
    "                        YYYY-MM-DD or \"YYYY-MM-DD HH:MM\")\n"
    "  --to TIME             leave out the rows after TIME (a day: to its end)\n"
    "  -h, --help            this text\n"
    "  -V, --version         the version line\n";

PlotOptions parsePlotOptions(const std::vector<std::string>& args) {
    PlotOptions options;
    std::string value;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") options.help = true;
        else if (optionValue(args, i, "--from", value)) setWindowEdge(options, "--from", value);
        else if (optionValue(args, i, "--to", value)) setWindowEdge(options, "--to", value);
        else if (arg == "-V" || arg == "--version") options.version = true;
        else if (arg == "-o" || arg == "--output") {
            if (++i == args.size()) throw plot_error("option " + arg + " needs a picture name");
            options.output = args[i];
        } else if (arg.rfind("--output=", 0) == 0) options.output = arg.substr(9);
        else if (arg.size() > 1 && arg[0] == '-' && arg != "-") throw plot_error("unknown option " + arg);
        else options.inputs.push_back(arg);
    }
    if (options.help || options.version) return options;
    if (options.inputs.empty()) throw plot_error("no table given");
    if (options.window.from >= options.window.to) throw plot_error("nothing to draw: " + options.windowText);
    if (options.output.empty()) options.output = defaultOutput(options.inputs.front());
    if (options.output.empty() || options.output.back() == '/') throw plot_error("no picture name: " + options.output);
    options.kind = kindOf(options.output);
    options.historyOutput = historyName(options.output);
    return options;
}

double windowEdge(const std::string& option, const std::string& time) {
    double seconds = 0;
    bool withClock = false;
    if (!parseLocalTime(time, seconds, withClock))
        throw plot_error("option " + option + " needs a time as YYYY-MM-DD or \"YYYY-MM-DD HH:MM\": " + time);
    if (option == "--to") seconds += withClock ? 60 : kSecondsPerDay;
    return seconds;
}

std::string defaultOutput(const std::string& input) {
    std::size_t dot = extensionDot(input);
    return (dot == std::string::npos ? input : input.substr(0, dot)) + ".png";
}

std::string historyName(const std::string& output) {
    std::size_t dot = extensionDot(output);
    if (dot == std::string::npos) return output + "-history";
    return output.substr(0, dot) + "-history" + output.substr(dot);
}

}  // namespace tessline
