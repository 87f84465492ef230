#include "link/text_framer.h"

#include <cstring>

#include <boost/regex.hpp>

#include "log/log.h"

namespace tessline {

namespace {

// The bytes that stand just before a block's checksum byte.
const char kChecksumLabel[] = "\r\nChecksum\t";
constexpr std::size_t kChecksumLabelSize = sizeof kChecksumLabel - 1;

// CR LF, a label without TAB, TAB, a value without CR. "^" matches at the
// search start and after every LF, lone CR or form feed.
const boost::regex& fieldPattern() {
    static const boost::regex pattern("^\r\n([^\t]+)\t([^\r]+)", boost::regex::perl);
    return pattern;
}

}  // namespace

void extractTextFields(const std::string& block, const TextFieldSink& sink) {
    auto start = block.begin();
    boost::smatch match;
    while (boost::regex_search(start, block.end(), match, fieldPattern())) {
        sink(match[1].str(), match[2].str());
        start = match[0].second;
    }
}

TextFramer::TextFramer(TextFieldSink sink) : sink_(std::move(sink)) {
    textBlock_.reserve(kMaxBlock + 1);
    completed_.reserve(kMaxBlock + 1);
}

bool TextFramer::endsWithChecksumLabel() const {
    std::size_t size = textBlock_.size();
    return size > kChecksumLabelSize &&
           std::memcmp(&textBlock_[size - 1 - kChecksumLabelSize], kChecksumLabel, kChecksumLabelSize) == 0;
}

void TextFramer::resetBlock() {
    textBlock_.clear();
    textChecksum_ = 0;
}

void TextFramer::feed(char c) {
    if (c == ':') {
        // A HEX frame starts; it drops a block in progress. The CR LF that
        // opens the next block is swallowed after the frame, so it is put
        // in place here, with its share of the checksum (0x0D + 0x0A).
        frameState_ = IN_HEX;
        textBlock_.assign("\r\n");
        textChecksum_ = 0x17;
    }
    if (frameState_ != TEXT) {
        if (c == '\r' || c == '\n') {
            frameState_ = AFTER_HEX;
            return;
        }
        if (frameState_ == IN_HEX) return;
        frameState_ = TEXT;
    }
    textChecksum_ = static_cast<std::uint8_t>(textChecksum_ + static_cast<std::uint8_t>(c));
    textBlock_.push_back(c);
    std::size_t size = textBlock_.size();
    if (endsWithChecksumLabel()) completeBlock();
    if (size > kMaxBlock) {
        logInfo("serial", "invalid block length received, ignoring");
        resetBlock();
    }
}

// The block is cleared before its fields go out, so a listener that throws
// leaves the framing ready for the next block.
void TextFramer::completeBlock() {
    bool valid = textChecksum_ == 0;
    completed_.swap(textBlock_);
    resetBlock();
    if (!valid) {
        logInfo("serial", "invalid TEXT checksum received, ignoring");
        return;
    }
    ++validBlocks_;
    extractTextFields(completed_, sink_);
}

}  // namespace tessline
