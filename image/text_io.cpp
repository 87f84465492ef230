#include "image/text_io.h"

namespace tessline {

namespace {

using Traits = std::istream::traits_type;

// The white space of the C locale, which the file formats were defined with.
bool isSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

bool readLine(std::istream& in, std::size_t limit, TextToken& line) {
    line.text.clear();
    line.tooLong = false;
    std::streambuf* source = in.rdbuf();
    int c = source->sbumpc();
    if (c == Traits::eof()) return false;
    for (; c != Traits::eof() && c != '\n'; c = source->sbumpc()) {
        // One character beyond the limit is kept: it may be the CR of CR LF.
        if (line.text.size() <= limit)
            line.text += static_cast<char>(c);
        else
            line.tooLong = true;
    }
    if (!line.tooLong && !line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    if (line.text.size() > limit) line.tooLong = true;
    return true;
}

bool readWord(std::istream& in, std::size_t limit, TextToken& word) {
    word.text.clear();
    word.tooLong = false;
    std::streambuf* source = in.rdbuf();
    int c = source->sbumpc();
    while (c != Traits::eof() && isSpace(c)) c = source->sbumpc();
    if (c == Traits::eof()) return false;
    for (; c != Traits::eof() && !isSpace(c); c = source->sbumpc()) {
        if (word.text.size() < limit)
            word.text += static_cast<char>(c);
        else
            word.tooLong = true;
    }
    return true;
}

void appendHexByte(std::string& text, std::uint8_t byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
}

}  // namespace tessline
