// Tables of several files drawn as one span: a file per day that solwatch
// wrote, given in any order.
#pragma once

#include <string>
#include <vector>

#include "plot/recording.h"

namespace tessline {

struct TableFile {
    std::string name;
    Recording recording;
};

// Sorts the files by the time of their first row; files without rows go
// last. The rows decide, not the names.
void putInTimeOrder(std::vector<TableFile>& files);

// The rows of the files, in the files' order, as one Recording. Where a file
// goes on under the header that the file before ended with, the table is
// taken to go on (a new file of the day, not a new run): the lines join unless
// the time between the rows is a pause. The history is the latest file's.
// Throws plot_error for a table without time stamps among others: its rows
// have no place on a common axis.
Recording joinTables(std::vector<TableFile>&& files);

}  // namespace tessline
