#include "plot/table_cells.h"

#include <charconv>

namespace tessline {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// What printf's "%f" and "%d" give: an optional minus, digits, an optional
// fraction. No exponent, no plus, no blanks.
bool isPlainNumber(std::string_view text) {
    std::size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    }
    return digits > 0 && i == text.size();
}

bool isNoNumber(std::string_view text) {
    if (!text.empty() && text[0] == '-') text.remove_prefix(1);
    return text == "nan" || text == "inf";
}

// Names solwatch quotes: states, ON/OFF, DAY/NIGHT, clock times and the
// time stamp, "--:--". Letters, digits, blanks, '_', ':' and '-' only.
bool isNameText(std::string_view text) {
    for (char c : text)
        if (!isLetter(c) && !isDigit(c) && c != ' ' && c != '_' && c != ':' && c != '-') return false;
    return true;
}

}  // namespace

bool splitCells(std::string_view line, std::vector<std::string_view>& cells) {
    cells.clear();
    std::size_t start = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        else if (line[i] == ',' && !quoted) {
            cells.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    cells.push_back(line.substr(start));
    return !quoted;
}

bool readCell(std::string_view cell, TableCell& out) {
    out = TableCell();
    if (cell.empty() || cell == "-" || isNoNumber(cell)) return true;
    if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"') {
        out.kind = TableCell::name;
        out.text = cell.substr(1, cell.size() - 2);
        return isNameText(out.text);
    }
    if (!isPlainNumber(cell)) return false;
    out.kind = TableCell::number;
    auto result = std::from_chars(cell.data(), cell.data() + cell.size(), out.value);
    return result.ec == std::errc() && result.ptr == cell.data() + cell.size();
}

bool isHeaderName(std::string_view cell) {
    if (cell.empty() || !(isLetter(cell[0]) || cell[0] == '#')) return false;
    for (char c : cell)
        if (!isLetter(c) && !isDigit(c) && c != '_' && c != '#' && c != '%' && c != '[' && c != ']' && c != ' ')
            return false;
    return true;
}

}  // namespace tessline
