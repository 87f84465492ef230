#include "plot/table_span.h"

#include <algorithm>

namespace tessline {

namespace {

void appendFacts(Recording& into, const Recording& part) {
    into.timed = part.timed;
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

void putInTimeOrder(std::vector<TableHead>& heads) {
    std::stable_sort(heads.begin(), heads.end(),
                     [](const TableHead& a, const TableHead& b) { return a.firstX < b.firstX; });
    if (heads.size() < 2) return;
    for (const TableHead& head : heads)
        if (!head.timed)
            throw plot_error(head.name + ": a table without time stamps (the channels variant) is drawn alone");
}

Recording TableSpan::read(std::istream& in, const std::string& name, const TimeWindow& window) {
    bool firstPart = true;
    Recording own = readTableInParts(in, name, window, [&](Recording& part) {
        if (firstPart && anyRow_ && part.firstRowHeader == lastRowHeader_) part.runStart.front() = 0;
        firstPart = false;
        anyRow_ = true;
        lastRowHeader_ = part.lastRowHeader;
        take_(part);
    });
    appendFacts(facts_, own);
    return own;
}

}  // namespace tessline
