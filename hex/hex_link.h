// HexLink: what the HEX requests need of a link, and no more: sending a
// frame, the frames that arrive, and the lock that keeps a request and its
// answer together. The serial link is one; a test may be another.
#pragma once

#include <mutex>

#include <boost/signals2/signal.hpp>

#include "hex/hex_msg.h"

namespace tessline {

// Results of a request, and of sending its frame.
constexpr int kHexOk = 0;
constexpr int kHexNoAnswerAfterResend = -2;
// No acceptable answer in time, an answer that does not fit the request, or
// a frame that went out short. Callers rely on its value, -3.
constexpr int kHexRequestFailed = -3;

class HexLink {
public:
    virtual ~HexLink() = default;

    // Each received frame, on the thread that receives.
    boost::signals2::signal<void(const HexMsg&)> rxHexMsg;

    // Serialises requests: held for a whole request/answer exchange, and by
    // callers around a series of requests. The receiving thread never takes it.
    std::recursive_mutex linkMutex;

    // kHexOk when every byte went out, kHexRequestFailed after a short
    // write. May throw the link's own errors.
    virtual int write(const HexMsg& msg) = 0;
};

}  // namespace tessline
