#include "tests/support/typed_row.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "fields/field_catalogue.h"

namespace testing_support {

using namespace tessline;

std::vector<TableColumn> catalogueColumns(const std::vector<std::string>& headers) {
    std::vector<TableColumn> columns;
    for (const std::string& header : headers) {
        HeaderMatch match = fieldOfHeader(header);
        int history = !match.field || match.field->record == Record::live ? kLiveColumn
                      : match.field->record == Record::total              ? kHistoryTotal
                                                                          : match.day;
        columns.push_back(TableColumn{header, history, match.field});
    }
    return columns;
}

namespace {

TableCell typedCell(const std::string& text, const Field* field) {
    TableCell cell;
    bool quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
    char* end = nullptr;
    double number = std::strtod(text.c_str(), &end);
    if (text == "-") cell = missingCell();
    else if (quoted && field && field->names) cell = nameCell(text.substr(1, text.size() - 2), 0);
    else if (quoted) cell = textCell(text.substr(1, text.size() - 2));
    else if (!text.empty() && *end == '\0' && std::isfinite(number)) cell = numberCell(text, number);
    else cell = wordCell(text);
    if (field && field->names && cell.kind == CellKind::text) cell.index = nameIndex(*field->names, cell.text);
    cell.field = field;
    return cell;
}

}  // namespace

TableRow typedRow(std::time_t time, const std::vector<TableColumn>& columns, const std::string& line) {
    TableRow row{time, {}};
    std::stringstream in(line);
    for (std::string text; std::getline(in, text, ',');) {
        const Field* field = row.cells.size() < columns.size() ? columns[row.cells.size()].field : nullptr;
        row.cells.push_back(typedCell(text, field));
    }
    while (row.cells.size() < columns.size()) row.cells.push_back(missingCell());
    return row;
}

}  // namespace testing_support
