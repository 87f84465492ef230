// What the link's reader thread does with each received byte: the byte
// listeners first (the traffic dump), then the HEX frame decoder, then the
// TEXT framing; complete frames and fields go out on their signals.
#pragma once

#include <cstdint>
#include <string>

#include <boost/signals2/signal.hpp>

#include "hex/hex_frame.h"
#include "link/text_framer.h"

namespace tessline {

class ReceivePath {
public:
    using ByteSignal = boost::signals2::signal<void(char)>;
    using FrameSignal = boost::signals2::signal<void(const HexMsg&)>;
    using FieldSignal = boost::signals2::signal<void(const std::string&, const std::string&)>;

    ReceivePath(ByteSignal& rxChar, FrameSignal& rxHexMsg, FieldSignal& rxTextField);

    void feed(char c);
    // TEXT blocks that passed their checksum so far.
    std::uint64_t validTextBlocks() const { return textFramer_.validBlocks(); }
    // HEX frames completed so far, and whether one is under way.
    std::uint64_t hexFrames() const { return hexFrames_; }
    bool inHexFrame() const { return hexDecoder_.inFrame(); }

private:
    ByteSignal& rxChar_;
    FrameSignal& rxHexMsg_;
    HexFrameDecoder hexDecoder_;
    std::uint64_t hexFrames_ = 0;
    TextFramer textFramer_;
};

}  // namespace tessline
