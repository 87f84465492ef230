#include "image/text_io.h"

#include <array>
#include <cstring>

namespace tessline {

namespace {

// Far above the longest line or word any format takes, so that a kept
// token never fills a chunk.
constexpr std::size_t kChunk = 16384;

// The white space of the C locale, which the file formats were defined with,
// as a table: one load a character instead of six comparisons.
constexpr std::array<bool, 256> kSpace = [] {
    std::array<bool, 256> table{};
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[static_cast<unsigned char>(c)] = true;
    return table;
}();

bool isSpace(char c) { return kSpace[static_cast<unsigned char>(c)]; }

}  // namespace

TextSource::TextSource(std::istream& in) : stream_(in.rdbuf()), chunk_(kChunk) {}

bool TextSource::refill(std::size_t& keep) {
    if (!stream_) return false;
    const std::size_t kept = text_.size() - keep;
    if (kept > 0) std::memmove(chunk_.data(), text_.data() + keep, kept);
    const std::streamsize got =
        stream_->sgetn(chunk_.data() + kept, static_cast<std::streamsize>(chunk_.size() - kept));
    pos_ -= keep;
    keep = 0;
    text_ = std::string_view(chunk_.data(), kept + static_cast<std::size_t>(got > 0 ? got : 0));
    return got > 0;
}

bool TextSource::readLine(std::size_t limit, TextToken& line) {
    line = TextToken{};
    std::size_t start = pos_;
    if (pos_ == text_.size() && !refill(start)) return false;
    bool ended = false;
    while (!ended) {
        const void* lf = std::memchr(text_.data() + pos_, '\n', text_.size() - pos_);
        ended = lf != nullptr;
        pos_ = ended ? static_cast<std::size_t>(static_cast<const char*>(lf) - text_.data())
                     : text_.size();
        // One character beyond the limit is kept: it may be the CR of CR LF.
        if (pos_ - start > limit + 1) {
            line.tooLong = true;
            start = pos_;
        }
        if (!ended && !refill(start)) break;
    }
    if (!line.tooLong) {
        std::string_view text = text_.substr(start, pos_ - start);
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (text.size() > limit)
            line.tooLong = true;
        else
            line.text = text;
    }
    if (ended) ++pos_;
    return true;
}

bool TextSource::readWord(std::size_t limit, TextToken& word) {
    word = TextToken{};
    for (;;) {
        while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
        if (pos_ < text_.size()) break;
        std::size_t none = pos_;
        if (!refill(none)) return false;
    }
    std::size_t start = pos_;
    for (;;) {
        while (pos_ < text_.size() && !isSpace(text_[pos_])) ++pos_;
        if (pos_ - start > limit) {
            word.tooLong = true;
            start = pos_;
        }
        if (pos_ < text_.size() || !refill(start)) break;
    }
    if (!word.tooLong) word.text = text_.substr(start, pos_ - start);
    return true;
}

void appendHexByte(std::string& text, std::uint8_t byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
}

}  // namespace tessline
