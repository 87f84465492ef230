#include "plot/plot_options.h"

#include <strings.h>

#include "plot/recording.h"

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

}  // namespace

const char* const kPlotUsage =
    "usage: solwatch-plot TABLE.csv [-o PICTURE.png|PICTURE.svg]\n"
    "Draws a table that solwatch wrote as a picture (PNG or SVG, by the extension;\n"
    "default: the table's name with .png). A table with the history records also\n"
    "gives PICTURE-history.png with the daily yield of the last 31 days.\n"
    "  -o, --output PICTURE  where to write the picture\n"
    "  -h, --help            this text\n"
    "  -V, --version         the version line\n";

PlotOptions parsePlotOptions(const std::vector<std::string>& args) {
    PlotOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") options.help = true;
        else if (arg == "-V" || arg == "--version") options.version = true;
        else if (arg == "-o" || arg == "--output") {
            if (++i == args.size()) throw plot_error("option " + arg + " needs a picture name");
            options.output = args[i];
        } else if (arg.rfind("--output=", 0) == 0) options.output = arg.substr(9);
        else if (arg.size() > 1 && arg[0] == '-' && arg != "-") throw plot_error("unknown option " + arg);
        else if (options.input.empty()) options.input = arg;
        else throw plot_error("one table at a time: " + arg);
    }
    if (options.help || options.version) return options;
    if (options.input.empty()) throw plot_error("no table given");
    if (options.output.empty()) options.output = defaultOutput(options.input);
    if (options.output.empty() || options.output.back() == '/') throw plot_error("no picture name: " + options.output);
    options.kind = kindOf(options.output);
    options.historyOutput = historyName(options.output);
    return options;
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
