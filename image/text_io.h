// Image file text as the formats read it: lines and words from a memory
// buffer or a stream, with a length limit so that a hostile file cannot make
// a reader buffer without bound; and the hex digit helper of the writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace tessline {

struct TextToken {
    std::string_view text;  // valid until the next read from the source
    bool tooLong = false;   // ran past the limit; `text` is then empty
};

// The text a reader takes its lines or words from. A memory source hands out
// views into the caller's text, which must outlive it; a stream source reads
// the stream in chunks, so that it holds at most a chunk however long the file.
class TextSource {
public:
    explicit TextSource(std::string_view text) : text_(text) {}
    explicit TextSource(std::istream& in);

    // Next line without its LF or CR LF end. False at the end of the input.
    bool readLine(std::size_t limit, TextToken& line);
    // Next whitespace-separated word. False when no word is left.
    bool readWord(std::size_t limit, TextToken& word);

private:
    // Moves the unread text from `keep` on to the front of the chunk and
    // reads more after it; `keep` and the position follow the move. False
    // when the stream had nothing more (or there is no stream).
    bool refill(std::size_t& keep);

    std::string_view text_;
    std::size_t pos_ = 0;
    std::streambuf* stream_ = nullptr;
    std::vector<char> chunk_;
};

// Appends two upper-case hex digits.
void appendHexByte(std::string& text, std::uint8_t byte);

}  // namespace tessline
