// TamSerial: the one serial link of a run. It owns the port and a reader
// thread that hands every received byte, in order, to the rxChar listeners;
// the receive framing turns those bytes into HEX frames and TEXT fields.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <boost/signals2/signal.hpp>
#include <boost/system/error_code.hpp>

#include "hex/hex_link.h"
#include "hex/hex_msg.h"
#include "hex/text_field_source.h"
#include "link/line_activity.h"
#include "link/receive_path.h"

namespace tessline {

// The device file for a port name: a name with "/" as given, "COMn" as
// /dev/ttyS(n-1), any other name under /dev. On Windows: the name under the
// device namespace (\\.\COM10), a name that starts with a backslash as given.
std::string devicePathForPort(const std::string& portName);

// The line settings that start() applies, as a capture's header names them.
constexpr const char* kLineSettingsText = "19200 8N1";

class TamSerial : public HexLink, public TextFieldSource {
public:
    explicit TamSerial(const std::string& portName);
    ~TamSerial();
    TamSerial(const TamSerial&) = delete;
    TamSerial& operator=(const TamSerial&) = delete;

    // Signals; slots run on the thread that emits, in connection order.
    boost::signals2::signal<void(char)> rxChar;                  // reader thread
    // The bytes of each read at once, before rxChar sees them one by one.
    boost::signals2::signal<void(const char*, std::size_t)> rxChunk;  // reader thread
    // rxHexMsg (HexLink): reader thread
    boost::signals2::signal<void(std::string&)> txData;          // writer's thread
    // rxTextField (TextFieldSource): reader thread
    // The line is gone: a read error (a hang-up, an unplugged adapter), or
    // silence or noise beyond the silence timeout. Emitted once, on the
    // reader thread; the reader thread ends after it.
    boost::signals2::signal<void(const std::string& reason)> linkLost;

    // linkMutex (HexLink): the reader thread never takes it.

    // No byte, or no TEXT block or HEX frame that passes its checksum, for
    // this long counts as a lost link (0: never). Set before start().
    void setSilenceTimeout(std::chrono::seconds timeout) { silenceTimeout_ = timeout; }
    // Where each valid frame's time goes too (null: nowhere). Set before start().
    void setActivity(LineActivity* activity) { activity_ = activity; }
    // Lets the reader rest between reads, so that bytes gather and wake it
    // less often; for runs that are not bound by the line's speed. Off by
    // default: then every arrival is read at once. Any thread may call it.
    void setRestBetweenReads(bool rest);
    void start();
    // Bytes received so far; any thread may ask.
    std::uint64_t bytesReceived() const { return bytesReceived_; }
    // TEXT blocks that passed their checksum so far; any thread may ask.
    std::uint64_t validTextBlocks() const { return validTextBlocks_; }
    // kHexOk: every byte written; kHexRequestFailed: short write. Throws
    // system_error "write".
    int write(const HexMsg& msg) override;
    // Closes the port; the pending read ends and the reader thread with it.
    void close();

    bool joinable() const { return thread_.joinable(); }
    void join() { thread_.join(); }

private:
    void run();
    void startRead();
    void onReadComplete(const boost::system::error_code& error, std::size_t count);
    void noteValidFrames(std::uint64_t framesBefore);
    void restBeforeNextRead();
    std::chrono::steady_clock::time_point restEnd(std::chrono::steady_clock::time_point now) const;
    void noteAnswers(std::uint64_t framesBefore, std::chrono::steady_clock::time_point readAt);
    void armRestTimer(std::chrono::steady_clock::time_point end);
    void awaitRestTimer();
    void awaitAnswer(const HexMsg& request);
    void awaitReaderAfterFailedWrite();
    void dispatch(char c);
    void armSilenceTimer();
    void onSilenceTimer(const boost::system::error_code& error);
    void reportLoss(const std::string& reason);
    void openExclusive(const std::string& path);
    std::size_t writeAll(const std::string& text, boost::system::error_code& error);
    bool closing();

    struct Port;                 // the I/O service and the serial port on it
    std::unique_ptr<Port> port_;
    std::thread thread_;

    // Guards readerActive_: while it is true, close() hands the port to the
    // reader thread's I/O service instead of closing it from another thread.
    std::mutex ioStateMutex_;
    bool readerActive_ = false;

    // A rest is a wait on a timer rather than on the port, so bytes that
    // arrive meanwhile wake nobody; a request moves the timer to when its
    // answer is due, which wakes nobody either.
    // Guards restful_, closing_, the answer state, restingUntil_ and
    // readerStopped_ (readerStop_ tells of it), and every setting of the
    // rest timer.
    std::mutex restMutex_;
    bool restful_ = false;
    bool closing_ = false;
    std::chrono::steady_clock::time_point lastWriteAt_;
    std::chrono::steady_clock::time_point answerDueAt_;
    bool answered_ = true;  // a frame came after the last request
    // End of the reader's current rest; max while it does not rest.
    std::chrono::steady_clock::time_point restingUntil_ = std::chrono::steady_clock::time_point::max();
    bool readerStopped_ = false;  // the reader thread ran and ended (after any linkLost)
    std::condition_variable readerStop_;

    // Held by a write for as long as it uses the descriptor, and by close()
    // until the port is closed: a close from another thread (the end of a
    // run that a request outlasts) never takes the descriptor from under a
    // write.
    std::mutex writeMutex_;

    std::chrono::seconds silenceTimeout_{0};
    LineActivity* activity_ = nullptr;
    // Written by the reader thread, read by any thread.
    std::atomic<std::uint64_t> bytesReceived_{0};
    std::atomic<std::uint64_t> validTextBlocks_{0};

    // Receive state: touched only by the reader thread.
    bool lost_ = false;
    std::chrono::steady_clock::time_point lastByteAt_;
    std::chrono::steady_clock::time_point lastValidFrameAt_;
    ReceivePath receivePath_;
    char readBuffer_[1024];
};

}  // namespace tessline
