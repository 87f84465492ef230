// The link on Windows: the port is a COM device handle, read by the reader
// thread with plain synchronous ReadFile calls that end on the line's own
// pauses (COMMTIMEOUTS), and written with WriteFile.
//
// Asio's serial port is not used here: it reads with overlapped I/O, and on
// some systems' COM ports (wine's, on a pseudo-terminal) an overlapped read
// never completes. A synchronous read with time-outs works everywhere.
#include "link/tam_serial.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <utility>

#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>
#include <boost/throw_exception.hpp>

#include "link/silence_watch.h"
#include "log/log.h"

namespace tessline {

using boost::system::error_code;
using boost::system::system_error;

struct TamSerial::Port {
    // Set by the constructor. Writes use it under writeMutex_; close() takes
    // it away under writeMutex_ too, once the reader thread, which reads
    // it without a lock, has ended.
    HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace {

// A read ends this long after the last byte of a burst, so a TEXT block or
// a HEX answer comes in one read (the line carries a byte every half
// millisecond within a burst) ...
constexpr DWORD kReadIntervalMs = 5;
// ... or after this long with nothing at all. The reader then looks at the
// stop flag and the silence watch. A write on the same handle also waits
// behind a pending read on systems that serialise synchronous I/O per
// handle, so the wait stays short.
constexpr DWORD kReadIdleMs = 20;
// A request frame is a few dozen bytes, out in milliseconds at the line's
// speed: a port that takes none of it for this long (a stuck adapter) fails
// the write instead of holding the link's mutex.
constexpr DWORD kWriteStallMs = 1000;
// close() waits this long at most for the reader to see the stop flag; it
// looks at it after every read, which ends within kReadIdleMs.
constexpr auto kReaderStopBound = std::chrono::seconds(5);

error_code lastError() { return error_code(static_cast<int>(::GetLastError()), boost::system::system_category()); }

void applyLineSettings(HANDLE handle) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb)) boost::throw_exception(system_error(lastError(), "set_option"));
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    // No flow control: neither hardware handshake nor XON/XOFF.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(handle, &dcb)) boost::throw_exception(system_error(lastError(), "set_option"));
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadIntervalMs;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = kReadIdleMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteStallMs;
    if (!::SetCommTimeouts(handle, &timeouts)) boost::throw_exception(system_error(lastError(), "set_option"));
}

}  // namespace

// Under the device namespace, as the system names COM10 and above only so;
// a name that starts with a backslash is taken as given.
std::string devicePathForPort(const std::string& portName) {
    if (!portName.empty() && portName[0] == '\\') return portName;
    return "\\\\.\\" + portName;
}

TamSerial::TamSerial(const std::string& portName)
    : port_(std::make_unique<Port>()),
      receivePath_(rxChar, rxHexMsg, rxTextField) {
    openExclusive(devicePathForPort(portName));
}

TamSerial::~TamSerial() {
    try {
        close();
    } catch (const std::exception&) {
    }
    if (thread_.joinable()) thread_.join();
}

// Share mode 0: no other program (nor a second run) opens the port meanwhile.
void TamSerial::openExclusive(const std::string& path) {
    port_->handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port_->handle == INVALID_HANDLE_VALUE) boost::throw_exception(system_error(lastError(), "open " + path));
}

void TamSerial::start() {
    if (thread_.joinable()) {
        logError("serial", "thread not available");
        return;
    }
    logInfo("serial", "port open");
    applyLineSettings(port_->handle);
    {
        std::lock_guard<std::mutex> lock(ioStateMutex_);
        readerActive_ = true;
    }
    thread_ = std::thread([this] { run(); });
}

void TamSerial::run() {
    logInfo("serial", "thread start");
    lastByteAt_ = std::chrono::steady_clock::now();
    lastValidFrameAt_ = lastByteAt_;
    // Without a silence timeout the watch never looks. Otherwise it looks
    // after a read, which ends within kReadIdleMs of when it is due.
    auto silenceCheck = std::chrono::steady_clock::time_point::max();
    if (silenceTimeout_.count() > 0) {
        silenceCheck = silenceCheckAt({lastByteAt_, lastValidFrameAt_}, silenceTimeout_, lastByteAt_);
    }
    while (!lost_) {
        DWORD count = 0;
        if (!::ReadFile(port_->handle, readBuffer_, sizeof readBuffer_, &count, nullptr)) {
            const error_code error = lastError();
            if (closing()) break;
            logWarning("serial", "serial port error [%s]: %s (%d)", error.category().name(), error.message().c_str(),
                       error.value());
            reportLoss("read: " + error.message());
            break;
        }
        if (count > 0) {
            bytesReceived_ += count;
            if (!rxChunk.empty()) rxChunk(readBuffer_, count);
            lastByteAt_ = std::chrono::steady_clock::now();
            const std::uint64_t framesBefore = receivePath_.hexFrames();
            for (DWORD i = 0; i < count; ++i) dispatch(readBuffer_[i]);
            noteValidFrames(framesBefore);
        }
        if (closing()) break;
        const auto now = std::chrono::steady_clock::now();
        if (now < silenceCheck) continue;
        const std::string reason = silenceLossReason({lastByteAt_, lastValidFrameAt_}, silenceTimeout_, now);
        if (!reason.empty()) reportLoss(reason);
        silenceCheck = silenceCheckAt({lastByteAt_, lastValidFrameAt_}, silenceTimeout_, now);
    }
    {
        std::lock_guard<std::mutex> lock(ioStateMutex_);
        readerActive_ = false;
    }
    {
        std::lock_guard<std::mutex> lock(restMutex_);
        readerStopped_ = true;
    }
    readerStop_.notify_all();
    logInfo("serial", "thread stopped");
}

// Once per link, on the reader thread, which ends after it.
void TamSerial::reportLoss(const std::string& reason) {
    if (lost_) return;
    lost_ = true;
    linkLost(reason);
}

// Each read ends on a pause of the line (kReadIntervalMs), so bytes gather
// by themselves: the reader is never woken byte by byte, and an answer is
// read as soon as it is whole. There is nothing more for a rest to do.
void TamSerial::setRestBetweenReads(bool rest) {
    std::lock_guard<std::mutex> lock(restMutex_);
    restful_ = rest;
}

int TamSerial::write(const HexMsg& msg) {
    std::lock_guard<std::recursive_mutex> lock(linkMutex);
    std::string text = encodeHexFrame(msg);
    txData(text);
    error_code error;
    std::size_t written = writeAll(text, error);
    if (error) {
        awaitReaderAfterFailedWrite();
        bool stalled = error == boost::system::errc::timed_out;
        boost::throw_exception(system_error(error, stalled ? "write: the port took no byte for 1 s" : "write"));
    }
    return written == text.size() ? kHexOk : kHexRequestFailed;
}

// A line that is gone fails a write and the next read alike. The reader's
// account of it (linkLost, "read: ...") comes first, as it does when the
// reader notices the loss before any write.
void TamSerial::awaitReaderAfterFailedWrite() {
    std::unique_lock<std::mutex> lock(restMutex_);
    readerStop_.wait_for(lock, std::chrono::milliseconds(500), [this] { return readerStopped_; });
}

// A write that the port's write time-out ends with nothing taken fails with
// timed_out; one that took some bytes goes on with the rest.
std::size_t TamSerial::writeAll(const std::string& text, error_code& error) {
    std::lock_guard<std::mutex> writing(writeMutex_);
    if (port_->handle == INVALID_HANDLE_VALUE) {
        error = error_code(ERROR_INVALID_HANDLE, boost::system::system_category());
        return 0;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        DWORD n = 0;
        if (!::WriteFile(port_->handle, text.data() + written, static_cast<DWORD>(text.size() - written), &n, nullptr)) {
            error = lastError();
            break;
        }
        if (n == 0) {
            error = make_error_code(boost::system::errc::timed_out);
            break;
        }
        written += n;
    }
    return written;
}

// The reader sees the stop flag after its current read, which ends within
// kReadIdleMs; the handle is closed once the reader is done with it, so that
// it is not closed (and its value reused) under a read.
void TamSerial::close() {
    {
        std::lock_guard<std::mutex> rest(restMutex_);
        closing_ = true;
    }
    std::lock_guard<std::mutex> writing(writeMutex_);
    bool awaitReader = false;
    {
        std::lock_guard<std::mutex> lock(ioStateMutex_);
        awaitReader = readerActive_ && std::this_thread::get_id() != thread_.get_id();
    }
    if (awaitReader) {
        std::unique_lock<std::mutex> lock(restMutex_);
        readerStop_.wait_for(lock, kReaderStopBound, [this] { return readerStopped_; });
    }
    if (port_->handle == INVALID_HANDLE_VALUE) return;  // closed before
    const HANDLE handle = std::exchange(port_->handle, INVALID_HANDLE_VALUE);
    if (!::CloseHandle(handle)) boost::throw_exception(system_error(lastError(), "close"));
}

}  // namespace tessline
