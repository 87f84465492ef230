// Bounded reading of image file text and hex digit helpers shared by the
// formats. Lines and words are read with a length limit so that a hostile
// file cannot make a reader buffer without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>

namespace tessline {

struct TextToken {
    std::string text;
    bool tooLong = false;  // ran past the limit; `text` holds only its start
};

// Next line without its LF or CR LF end. False at the end of the input.
bool readLine(std::istream& in, std::size_t limit, TextToken& line);

// Next whitespace-separated word. False when no word is left.
bool readWord(std::istream& in, std::size_t limit, TextToken& word);

// Appends two upper-case hex digits.
void appendHexByte(std::string& text, std::uint8_t byte);

}  // namespace tessline
