#include "output/json_key.h"

#include <cctype>

namespace tessline {

namespace {

// Where the header's trailing "[unit]" starts, or npos.
std::size_t unitStart(const std::string& header) {
    if (header.empty() || header.back() != ']') return std::string::npos;
    return header.rfind('[');
}

void appendKeyChars(std::string& key, const std::string& text) {
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (std::isalnum(u) && u < 0x80) key += static_cast<char>(std::tolower(u));
        else if (c == '_' || c == '%') key += c == '%' ? "pct" : "_";
    }
}

}  // namespace

std::string headerUnit(const std::string& header) {
    std::size_t start = unitStart(header);
    return start == std::string::npos ? std::string() : header.substr(start + 1, header.size() - start - 2);
}

std::string headerName(const std::string& header) { return header.substr(0, unitStart(header)); }

std::string jsonKey(const std::string& header) {
    std::string key;
    appendKeyChars(key, headerName(header));
    std::string unit;
    appendKeyChars(unit, headerUnit(header));
    if (!unit.empty()) key += (key.empty() ? "" : "_") + unit;
    return key.empty() ? "column" : key;
}

}  // namespace tessline
