#include "plot/file_cells.h"

#include <charconv>
#include <cstdint>

namespace tessline {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// What printf's "%f" and "%d" give: an optional minus, digits, an optional
// fraction. No exponent, no plus, no blanks. Its value is read in the same
// pass where it has few digits, as solwatch's values do: digits and a power
// of ten that doubles hold exactly give the nearest double with one
// division. Longer numbers are left to from_chars (`exact` false).
bool readPlainNumber(std::string_view text, double& value, bool& exact) {
    static const double kPowersOfTen[] = {1,    1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const bool negative = !text.empty() && text[0] == '-';
    std::uint64_t mantissa = 0;
    std::size_t digits = 0, fraction = 0;
    bool point = false;
    for (std::size_t i = negative ? 1 : 0; i < text.size(); ++i) {
        if (text[i] == '.' && !point) {
            point = true;
            continue;
        }
        if (!isDigit(text[i])) return false;
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(text[i] - '0');
        ++digits;
        fraction += point ? 1 : 0;
    }
    if (digits == 0) return false;
    exact = digits < 16;
    if (exact) value = (negative ? -1.0 : 1.0) * static_cast<double>(mantissa) / kPowersOfTen[fraction];
    return true;
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
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            // A quoted name holds no comma that counts: skip to its end at once.
            i = line.find('"', i + 1);
            if (i == std::string_view::npos) {
                cells.push_back(line.substr(start));
                return false;
            }
        } else if (line[i] == ',') {
            cells.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    cells.push_back(line.substr(start));
    return true;
}

bool readCell(std::string_view cell, FileCell& out) {
    out = FileCell();
    if (cell.empty() || cell == "-" || isNoNumber(cell)) return true;
    if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"') {
        out.kind = FileCell::name;
        out.text = cell.substr(1, cell.size() - 2);
        return isNameText(out.text);
    }
    bool exact = false;
    if (!readPlainNumber(cell, out.value, exact)) return false;
    out.kind = FileCell::number;
    if (exact) return true;
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
