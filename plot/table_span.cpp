#include "plot/table_span.h"

#include <algorithm>
#include <limits>

namespace tessline {

namespace {

template <typename T>
void appendAll(std::vector<T>& into, const std::vector<T>& from) {
    into.insert(into.end(), from.begin(), from.end());
}

void appendRows(Recording& into, const Recording& part) {
    const std::size_t first = into.rows();
    const bool goesOn = first > 0 && part.firstRowHeader == into.lastRowHeader;
    appendAll(into.x, part.x);
    appendAll(into.runStart, part.runStart);
    for (int q = 0; q < kQuantities; ++q) appendAll(into.values[q], part.values[q]);
    appendAll(into.states, part.states);
    if (goesOn) into.runStart[first] = 0;
    if (into.rows() > first) into.lastRowHeader = part.lastRowHeader;
}

void appendFacts(Recording& into, const Recording& part) {
    for (int q = 0; q < kQuantities; ++q) into.carried[q] = into.carried[q] || part.carried[q];
    into.carriesStates = into.carriesStates || part.carriesStates;
    if (part.history.any && (!into.history.any || part.history.today >= into.history.today))
        into.history = part.history;
    into.headerLines += part.headerLines;
    into.outsideWindow += part.outsideWindow;
    if (into.skipped.count == 0) into.skipped.first = part.skipped.first;
    into.skipped.count += part.skipped.count;
}

}  // namespace

void putInTimeOrder(std::vector<TableFile>& files) {
    auto firstTime = [](const TableFile& file) {
        return file.recording.rows() > 0 ? file.recording.x.front() : std::numeric_limits<double>::infinity();
    };
    std::stable_sort(files.begin(), files.end(),
                     [&](const TableFile& a, const TableFile& b) { return firstTime(a) < firstTime(b); });
}

Recording joinTables(std::vector<TableFile>&& files) {
    if (files.size() == 1) return std::move(files.front().recording);
    Recording joined;
    for (const TableFile& file : files) {
        if (!file.recording.timed)
            throw plot_error(file.name + ": a table without time stamps (the channels variant) is drawn alone");
        appendRows(joined, file.recording);
        appendFacts(joined, file.recording);
    }
    return joined;
}

}  // namespace tessline
