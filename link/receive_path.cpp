#include "link/receive_path.h"

namespace tessline {

ReceivePath::ReceivePath(ByteSignal& rxChar, FrameSignal& rxHexMsg, FieldSignal& rxTextField)
    : rxChar_(rxChar),
      rxHexMsg_(rxHexMsg),
      textFramer_([&rxTextField](const std::string& label, const std::string& value) { rxTextField(label, value); }) {}

// The decoder and the framing are called directly rather than as slots of
// rxChar: a signal emission per byte costs more than all of their work, and
// most runs have no other byte listener at all.
void ReceivePath::feed(char c) {
    if (!rxChar_.empty()) rxChar_(c);
    if (hexDecoder_.feed(c)) {
        ++hexFrames_;
        rxHexMsg_(hexDecoder_.message());
    }
    textFramer_.feed(c);
}

}  // namespace tessline
