// Tables of several files drawn as one span: a file per day that solwatch
// wrote, given in any order, read one after another in time order.
#pragma once

#include <string>
#include <vector>

#include "plot/recording.h"
#include "plot/table_reader.h"

namespace tessline {

// Sorts the tables by the time of their first row; tables without rows go
// last. The rows decide, not the names. Throws plot_error for a table
// without time stamps among others: its rows have no place on a common axis.
void putInTimeOrder(std::vector<TableHead>& heads);

// Tables read one after another in time order as one span: their rows are
// handed on in parts, their facts joined. Where a table goes on under the
// header that the table before ended with, it is taken to go on (a new file
// of the day, not a new run): the lines join unless the time between the
// rows is a pause. The history is the latest table's.
class TableSpan {
public:
    explicit TableSpan(TakeRows take) : take_(std::move(take)) {}

    // Reads the next table; returns its own facts, as readTableInParts.
    Recording read(std::istream& in, const std::string& name, const TimeWindow& window);
    // The facts of all the tables read so far, without rows.
    const Recording& facts() const { return facts_; }

private:
    TakeRows take_;
    Recording facts_;
    bool anyRow_ = false;
    std::string lastRowHeader_;
};

}  // namespace tessline
