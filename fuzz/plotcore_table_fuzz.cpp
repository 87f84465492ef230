// solwatch-plot's table reader on whatever a user may hand it: torn rows,
// garbage, other programs' files. Each input is read as two files (the
// first byte says where it splits, as a day's rows split at midnight):
// either a file is refused with one line, or its rows hold together, a time
// window keeps exactly the rows inside it, and the two join into one.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "plot/plot_data.h"
#include "plot/table_reader.h"

namespace {

using namespace tessline;

void require(bool condition) {
    if (!condition) std::abort();
}

void checkRows(const Recording& r) {
    const std::size_t rows = r.rows();
    require(r.runStart.size() == rows && r.states.size() == rows);
    for (const std::vector<float>& series : r.values) require(series.size() == rows);
    for (double x : r.x) require(std::isfinite(x));
    if (r.skipped.count > 0) require(!skippedLinesWarning(r.skipped).empty());
}

// False when the reader refuses the file, as it must with one line.
bool read(const std::string& text, const TimeWindow& window, Recording& recording) {
    std::istringstream in(text);
    try {
        recording = readTable(in, "day.csv", window);
    } catch (const plot_error& error) {
        std::string line = error.what();
        require(!line.empty() && line.find('\n') == std::string::npos);
        return false;
    }
    checkRows(recording);
    return true;
}

// Reads one file whole and from the middle row on; the rows left out are
// exactly the ones before that row's time.
bool readPart(const std::string& text, Recording& whole) {
    if (!read(text, TimeWindow(), whole)) return false;
    if (!whole.timed || whole.rows() == 0) return true;
    TimeWindow window;
    window.from = whole.x[whole.rows() / 2];
    Recording cut;
    require(read(text, window, cut));
    std::size_t inside = 0;
    for (double x : whole.x) inside += window.holds(x);
    require(cut.rows() == inside && cut.rows() + cut.outsideWindow == whole.rows());
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t split = data[0] * text.size() / 256;
    std::vector<Recording> parts(2);
    if (!readPart(text.substr(0, split), parts[0]) || !readPart(text.substr(split), parts[1])) return 0;
    const std::size_t rows = parts[0].rows() + parts[1].rows();
    parts[0].appendRows(parts[1]);
    checkRows(parts[0]);
    require(parts[0].rows() == rows);
    return 0;
}
