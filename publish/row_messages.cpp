#include "publish/row_messages.h"

namespace tessline {

RowMessages::Messages RowMessages::forRow(const TableRow& row) {
    Messages messages{builder_.buildState(row), ""};
    if (!builder_.hasHistory()) return messages;
    std::string cells = builder_.pastHistoryCells(row);
    if (cells == historyCells_) return messages;
    historyCells_ = std::move(cells);
    messages.history = builder_.buildHistory(row);
    return messages;
}

}  // namespace tessline
