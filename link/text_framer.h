// Receive framing of the TEXT dialect: separates TEXT bytes from ":"-framed
// HEX frames on the shared byte stream, assembles TEXT blocks with their
// running checksum, and hands out the fields of every valid block.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tessline {

using TextFieldSink = std::function<void(const std::string& label, const std::string& value)>;

// Calls `sink` for every field of a complete block, in block order.
void extractTextFields(const std::string& block, const TextFieldSink& sink);

class TextFramer {
public:
    enum FrameState : std::uint8_t { TEXT = 0, AFTER_HEX = 1, IN_HEX = 2 };

    // A block that reaches this size without having ended is dropped.
    static constexpr std::size_t kMaxBlock = 1024;

    explicit TextFramer(TextFieldSink sink);

    void feed(char c);

    std::uint8_t frameState() const { return frameState_; }
    const std::string& textBlock() const { return textBlock_; }
    std::uint8_t textChecksum() const { return textChecksum_; }
    // Blocks that passed their checksum so far.
    std::uint64_t validBlocks() const { return validBlocks_; }

private:
    bool endsWithChecksumLabel() const;
    void completeBlock();
    void resetBlock();

    TextFieldSink sink_;
    std::uint8_t frameState_ = TEXT;
    std::string textBlock_;
    std::uint8_t textChecksum_ = 0;
    std::string completed_;  // the last complete block; reused to spare allocations
    std::uint64_t validBlocks_ = 0;
};

}  // namespace tessline
