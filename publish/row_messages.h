// The messages of a table's rows for the broker.
#pragma once

#include <string>
#include <vector>

#include "output/state_message.h"
#include "row/table_row.h"

namespace tessline {

// What one table's rows send to the broker: each row's state message, and
// the history message when the total or a past day changed (the past days
// change once a day, the total with each yield step; a table's first row
// sends it).
class RowMessages {
public:
    explicit RowMessages(const std::vector<TableColumn>& columns) : builder_(columns) {}
    struct Messages {
        std::string state;
        std::string history;  // "" when it is not due
    };
    Messages forRow(const TableRow& row);

private:
    StateMessageBuilder builder_;
    std::string historyCells_;  // of the last history message
};

}  // namespace tessline
