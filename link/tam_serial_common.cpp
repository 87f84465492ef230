// The parts of the link that both platforms' readers share: how a received
// byte is handed on, and what a read tells of the line.
#include "link/tam_serial.h"

#include "log/log.h"

namespace tessline {

// A TEXT block or a HEX frame that passed its checksum shows a line that
// makes sense: a charger may answer in HEX while it sends no TEXT for a
// while, and noise makes neither.
void TamSerial::noteValidFrames(std::uint64_t framesBefore) {
    const std::uint64_t blocks = receivePath_.validTextBlocks();
    if (blocks == validTextBlocks_ && receivePath_.hexFrames() == framesBefore) return;
    validTextBlocks_ = blocks;
    lastValidFrameAt_ = lastByteAt_;
    if (activity_) activity_->noteValidFrame(lastValidFrameAt_);
}

// A listener that throws costs only the byte it was handling: reception goes on.
void TamSerial::dispatch(char c) {
    try {
        receivePath_.feed(c);
    } catch (const std::exception& e) {
        logError("serial", "%s", e.what());
    } catch (...) {
        logError("serial", "unknown exception in a receive listener");
    }
}

bool TamSerial::closing() {
    std::lock_guard<std::mutex> rest(restMutex_);
    return closing_;
}

}  // namespace tessline
