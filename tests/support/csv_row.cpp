#include "tests/support/csv_row.h"

#include <time.h>

namespace testing_support {

std::vector<std::string> csvCells(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
        cells.push_back(line.substr(start, comma - start));
    cells.push_back(line.substr(start));
    return cells;
}

std::time_t csvTime(const std::string& cell) {
    std::tm local{};
    local.tm_isdst = -1;
    if (cell.size() < 2 || !::strptime(cell.substr(1, cell.size() - 2).c_str(), "%a %b %d %H:%M:%S %Y", &local))
        return 0;
    return std::mktime(&local);
}

}  // namespace testing_support
