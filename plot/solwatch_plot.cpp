// solwatch-plot: draws a table that solwatch wrote as a picture, with gnuplot.
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>

#include "plot/gnuplot_run.h"
#include "plot/picture_file.h"
#include "plot/plot_options.h"
#include "plot/plot_title.h"
#include "plot/table_reader.h"
#include "plot/table_span.h"

using namespace tessline;

namespace {

// Exit codes.
constexpr int kUsageError = 1;
constexpr int kInputError = 2;
constexpr int kDrawError = 3;
constexpr int kOutputError = 4;

class output_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void onStopSignal(int signal) { stopSignal = signal; }

void watchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

std::ifstream openInput(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in.is_open()) throw plot_error("cannot open " + name + ": " + std::strerror(errno));
    return in;
}

// The tables' names in time order, read from the start of each. A single
// table is not read twice: it may be a pipe.
std::vector<std::string> inTimeOrder(const std::vector<std::string>& inputs) {
    if (inputs.size() == 1) return inputs;
    std::vector<TableHead> heads;
    for (const std::string& name : inputs) {
        std::ifstream in = openInput(name);
        heads.push_back(readTableHead(in, name));
    }
    putInTimeOrder(heads);
    std::vector<std::string> names;
    for (const TableHead& head : heads) names.push_back(head.name);
    return names;
}

// The tables as one span, read in time order into `data`; returns their
// facts and sets `names` to the tables' names in time order.
Recording readInputs(const PlotOptions& options, PlotData& data, std::vector<std::string>& names) {
    requireOneCharger(options.inputs);
    names = inTimeOrder(options.inputs);
    TableSpan span([&](Recording& part) { data.add(part); });
    for (const std::string& name : names) {
        std::ifstream in = openInput(name);
        Recording table = span.read(in, name, options.window);
        if (table.skipped.count > 0) std::cerr << "solwatch-plot: " << skippedLinesWarning(table.skipped) << std::endl;
        if (!table.timed && options.window.cuts())
            throw plot_error(name + ": a table without time stamps (the channels variant) has no time to cut");
    }
    data.finish();
    if (data.rows() == 0) throw plot_error("no rows to draw: " + options.windowText);
    return span.facts();
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// A picture drawn under a temporary name beside its target.
class Picture {
public:
    Picture(const std::string& name, const PlotJob& job) : name_(name), file_(openFile(name)) {
        drawPicture(job, *file_);
    }
    void commit() {
        try {
            file_->commit();
        } catch (const std::runtime_error& error) {
            throw output_error(error.what());
        }
        std::cout << name_ << '\n';
    }

private:
    static std::unique_ptr<PictureFile> openFile(const std::string& name) {
        try {
            return std::make_unique<PictureFile>(name);
        } catch (const std::runtime_error& error) {
            throw output_error(error.what());
        }
    }

    std::string name_;
    std::unique_ptr<PictureFile> file_;
};

int plot(const PlotOptions& options) {
    std::vector<std::string> names;
    PlotData data;
    Recording recording = readInputs(options, data, names);
    for (const std::string& input : options.inputs)
        for (const std::string& picture : {options.output, options.historyOutput})
            if (sameFile(input, picture)) throw output_error("the picture would overwrite the table: " + picture);
    std::string title = pictureTitle(names, data);
    // Both pictures are drawn before either takes its name: a failure
    // leaves the earlier ones as they were.
    Picture day(options.output, dayPicture(recording, data, title, options.kind));
    std::unique_ptr<Picture> history;
    if (recording.history.any)
        history = std::make_unique<Picture>(options.historyOutput,
                                            historyPicture(recording, historyTitle(names, recording), options.kind));
    day.commit();
    if (history) history->commit();
    return 0;
}

int fail(const std::exception& error, int code) {
    std::cerr << "solwatch-plot: " << error.what() << std::endl;
    return stopSignal ? 128 + stopSignal : code;
}

}  // namespace

int main(int argc, char* argv[]) {
    PlotOptions options;
    try {
        options = parsePlotOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const plot_error& error) {
        std::cerr << "solwatch-plot: " << error.what() << "\n" << kPlotUsage;
        return kUsageError;
    }
    if (options.help) return std::cout << kPlotUsage, 0;
    if (options.version) return std::cout << "solwatch-plot " SOLWATCH_VERSION << std::endl, 0;
    watchStopSignals();
    try {
        return plot(options);
    } catch (const plot_error& error) {
        return fail(error, kInputError);
    } catch (const draw_error& error) {
        return fail(error, kDrawError);
    } catch (const output_error& error) {
        return fail(error, kOutputError);
    }
}
