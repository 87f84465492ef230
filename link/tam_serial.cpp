#include "link/tam_serial.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/timerfd.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <future>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/bind/bind.hpp>
#include <boost/throw_exception.hpp>

#include "link/silence_watch.h"
#include "log/log.h"

namespace tessline {

namespace asio = boost::asio;
using boost::system::error_code;
using boost::system::system_error;

struct TamSerial::Port {
    Port() : restTimer(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC)) {
        if (restTimer < 0)
            boost::throw_exception(system_error(error_code(errno, boost::system::system_category()), "timerfd"));
    }
    ~Port() { ::close(restTimer); }
    asio::io_context io;
    asio::serial_port port{io};
    asio::steady_timer silence{io};  // armed only with a silence timeout
    int restTimer;                   // the reader's rests: steady clock (CLOCK_MONOTONIC)
};

namespace {

// A resting reader reads this often while no answer is awaited, or while
// one waits behind other bytes: a TEXT block then comes in a read or two
// instead of one per arrival of a byte or two, and a small box's CPU stays
// idle in between. The line's buffer holds seconds of bytes, so nothing is
// lost, and a request's time-out is five rests away.
constexpr auto kTextRest = std::chrono::milliseconds(200);
// ... and this often once an answer is under way but late: its last bytes
// are read at most this late. An answer is awaited this long after its
// request.
constexpr auto kAnswerRest = std::chrono::milliseconds(4);
constexpr auto kAnswerDueFor = std::chrono::seconds(2);
// A failed write waits at most this long for the reader's account of the loss.
constexpr auto kReaderAfterFailedWrite = std::chrono::milliseconds(500);
// A request frame is a few dozen bytes, out in milliseconds at the line's
// speed: a port that takes none of it for this long (a stuck adapter, flow
// control held off) fails the write instead of holding the link's mutex.
constexpr auto kWriteStall = std::chrono::seconds(1);

// A port that we may not open: say which group may, and how to join it.
void logPermissionHint(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return;
    const group* owner = ::getgrgid(info.st_gid);
    const passwd* user = ::getpwuid(::geteuid());
    std::string groupName = owner ? owner->gr_name : std::to_string(info.st_gid);
    std::string userName = user ? user->pw_name : "$USER";
    unsigned mode = info.st_mode & 0777;
    if ((mode & 060) != 060) {
        logError("serial", "%s belongs to group %s (mode %03o), which may not use it either", path.c_str(),
                 groupName.c_str(), mode);
        return;
    }
    logError("serial", "%s belongs to group %s (mode %03o); to use it, run \"sudo usermod -aG %s %s\" and log in again",
             path.c_str(), groupName.c_str(), mode, groupName.c_str(), userName.c_str());
}

}  // namespace

std::string devicePathForPort(const std::string& portName) {
    if (portName.find('/') != std::string::npos) return portName;
    if (portName.size() > 3 && portName.compare(0, 3, "COM") == 0) {
        bool digits = true;
        for (std::size_t i = 3; i < portName.size(); ++i) digits = digits && std::isdigit(static_cast<unsigned char>(portName[i]));
        if (digits) {
            unsigned long number = std::stoul(portName.substr(3));
            if (number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
        }
    }
    return "/dev/" + portName;
}

TamSerial::TamSerial(const std::string& portName)
    : port_(std::make_unique<Port>()),
      receivePath_(rxChar, rxHexMsg, rxTextField) {
    openExclusive(devicePathForPort(portName));
}

// A normal run never gets here (it ends through finish); tests and error
// paths do, and must not leave the reader thread running.
TamSerial::~TamSerial() {
    try {
        close();
    } catch (const std::exception&) {
    }
    if (thread_.joinable()) thread_.join();
}

// The port is ours alone: TIOCEXCL keeps other users out, and a lock on the
// descriptor keeps out a second solwatch run as root, which TIOCEXCL lets by.
void TamSerial::openExclusive(const std::string& path) {
    error_code error;
    port_->port.open(path, error);
    if (!error) {
        int fd = port_->port.native_handle();
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error = error_code(errno == EWOULDBLOCK ? EBUSY : errno, boost::system::system_category());
        } else if (::ioctl(fd, TIOCEXCL) != 0) {
            error = error_code(errno, boost::system::system_category());
        }
        if (error) {
            error_code ignored;
            port_->port.close(ignored);
        }
    }
    if (error == boost::system::errc::permission_denied) logPermissionHint(path);
    if (error) boost::throw_exception(system_error(error, "open " + path));
}

void TamSerial::start() {
    if (thread_.joinable()) {
        logError("serial", "thread not available");
        return;
    }
    logInfo("serial", "port open");
    using base = asio::serial_port_base;
    asio::serial_port& port = port_->port;
    port.set_option(base::baud_rate(19200));
    port.set_option(base::character_size(8));
    port.set_option(base::flow_control(base::flow_control::none));
    port.set_option(base::parity(base::parity::none));
    port.set_option(base::stop_bits(base::stop_bits::one));
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
    startRead();
    armSilenceTimer();
    error_code error;
    port_->io.run(error);
    {
        std::lock_guard<std::mutex> lock(ioStateMutex_);
        readerActive_ = false;
    }
    {
        std::lock_guard<std::mutex> lock(restMutex_);
        readerStopped_ = true;
    }
    readerStop_.notify_all();
    // A close() posted just before the flag fell still gets carried out.
    port_->io.restart();
    port_->io.poll();
    if (error) logError("serial", "i/o service failed: %s", error.message().c_str());
    logInfo("serial", "thread stopped");
}

void TamSerial::startRead() {
    port_->port.async_read_some(asio::buffer(readBuffer_),
                          [this](const error_code& error, std::size_t count) { onReadComplete(error, count); });
}

void TamSerial::onReadComplete(const error_code& error, std::size_t count) {
    if (error) {
        // A read begun after close() took the port meets "Bad file
        // descriptor": the end we asked for, as the read that close() aborted.
        const bool aborted = error == asio::error::operation_aborted;
        if (!aborted && closing()) return;
        logWarning("serial", "serial port error [%s]: %s (%d)", error.category().name(), error.message().c_str(),
                   error.value());
        if (!aborted) reportLoss("read: " + error.message());
        return;
    }
    bytesReceived_ += count;
    if (!rxChunk.empty()) rxChunk(readBuffer_, count);
    lastByteAt_ = std::chrono::steady_clock::now();
    const std::uint64_t framesBefore = receivePath_.hexFrames();
    for (std::size_t i = 0; i < count; ++i) dispatch(readBuffer_[i]);
    noteValidFrames(framesBefore);
    noteAnswers(framesBefore, lastByteAt_);
    restBeforeNextRead();
    startRead();
}

// A frame read at `readAt` answers the last request if that went out
// before: a request is written only after the answer to the one before it
// was handed over, so a later request is still awaiting its answer.
void TamSerial::noteAnswers(std::uint64_t framesBefore, std::chrono::steady_clock::time_point readAt) {
    if (receivePath_.hexFrames() == framesBefore) return;
    std::lock_guard<std::mutex> lock(restMutex_);
    if (lastWriteAt_ <= readAt) answered_ = true;
}

void TamSerial::setRestBetweenReads(bool rest) {
    std::lock_guard<std::mutex> lock(restMutex_);
    restful_ = rest;
}

// Bytes that arrive during a rest do not wake the reader: it is not waiting
// on the port. A request moves the end of the rest to when its answer is due.
void TamSerial::restBeforeNextRead() {
    {
        std::lock_guard<std::mutex> lock(restMutex_);
        if (!restful_ || closing_) return;
        restingUntil_ = restEnd(std::chrono::steady_clock::now());
        armRestTimer(restingUntil_);
    }
    awaitRestTimer();
    std::lock_guard<std::mutex> lock(restMutex_);
    restingUntil_ = std::chrono::steady_clock::time_point::max();
}

// Reader thread only (it reads the receive state). An awaited answer is
// read whole when it is due, or in short steps once it is under way but
// late. Other bytes before it (a TEXT block) delay it by their own length,
// so they are read at the pace of TEXT.
std::chrono::steady_clock::time_point TamSerial::restEnd(std::chrono::steady_clock::time_point now) const {
    const bool awaited = !answered_ && now - lastWriteAt_ < kAnswerDueFor;
    if (awaited && answerDueAt_ > now) return answerDueAt_;
    if (awaited && receivePath_.inHexFrame()) return now + kAnswerRest;
    return now + kTextRest;
}

// Under restMutex_. A time already past makes the timer expire at once.
void TamSerial::armRestTimer(std::chrono::steady_clock::time_point end) {
    const auto sinceBoot = std::chrono::duration_cast<std::chrono::nanoseconds>(end.time_since_epoch()).count();
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(sinceBoot / 1000000000);
    when.it_value.tv_nsec = static_cast<long>(sinceBoot % 1000000000);
    if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0) when.it_value.tv_nsec = 1;  // 0 would disarm
    ::timerfd_settime(port_->restTimer, TFD_TIMER_ABSTIME, &when, nullptr);
}

// Blocks until the rest timer expires, however often it was moved meanwhile.
void TamSerial::awaitRestTimer() {
    std::uint64_t expirations = 0;
    while (::read(port_->restTimer, &expirations, sizeof expirations) < 0 && errno == EINTR) {
    }
}

// The timer fires when silenceCheckAt says; each firing looks at the line.
void TamSerial::armSilenceTimer() {
    if (silenceTimeout_.count() <= 0) return;
    port_->silence.expires_at(
        silenceCheckAt({lastByteAt_, lastValidFrameAt_}, silenceTimeout_, std::chrono::steady_clock::now()));
    port_->silence.async_wait([this](const error_code& error) { onSilenceTimer(error); });
}

void TamSerial::onSilenceTimer(const error_code& error) {
    if (error) return;  // cancelled by close()
    const std::string reason =
        silenceLossReason({lastByteAt_, lastValidFrameAt_}, silenceTimeout_, std::chrono::steady_clock::now());
    if (reason.empty()) {
        armSilenceTimer();
    } else {
        reportLoss(reason);
    }
}

// Once per link. The pending read is cancelled too, so the reader thread ends.
void TamSerial::reportLoss(const std::string& reason) {
    if (lost_) return;
    lost_ = true;
    error_code ignored;
    port_->silence.cancel();
    port_->port.cancel(ignored);
    linkLost(reason);
}

int TamSerial::write(const HexMsg& msg) {
    std::lock_guard<std::recursive_mutex> lock(linkMutex);
    std::string text = encodeHexFrame(msg);
    txData(text);
    awaitAnswer(msg);
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
// reader notices the loss before any write; it may be resting, so its rest
// ends now.
void TamSerial::awaitReaderAfterFailedWrite() {
    std::unique_lock<std::mutex> lock(restMutex_);
    armRestTimer(std::chrono::steady_clock::time_point());
    readerStop_.wait_for(lock, kReaderAfterFailedWrite, [this] { return readerStopped_; });
}

// Called just before the request goes out, so that no byte of its answer
// can be read before. A rest that would end after the answer is due ends
// when it is due.
void TamSerial::awaitAnswer(const HexMsg& request) {
    std::lock_guard<std::mutex> rest(restMutex_);
    lastWriteAt_ = std::chrono::steady_clock::now();
    answerDueAt_ = lastWriteAt_ + answerDueAfter(request);
    answered_ = false;
    const bool resting = restingUntil_ != std::chrono::steady_clock::time_point::max();
    if (resting && restingUntil_ > answerDueAt_) {
        restingUntil_ = answerDueAt_;
        armRestTimer(restingUntil_);
    }
}

// Writes straight to the descriptor: the port object itself belongs to the
// reader thread's I/O service, which may be starting a read right now.
// A port that takes no byte for kWriteStall fails with timed_out.
std::size_t TamSerial::writeAll(const std::string& text, error_code& error) {
    std::lock_guard<std::mutex> writing(writeMutex_);
    int fd = port_->port.native_handle();
    std::size_t written = 0;
    while (written < text.size()) {
        ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (closing()) {
                error = asio::error::operation_aborted;
                break;
            }
            pollfd ready{fd, POLLOUT, 0};
            int waitMs = static_cast<int>(std::chrono::milliseconds(kWriteStall).count());
            if (::poll(&ready, 1, waitMs) == 0) {
                error = make_error_code(boost::system::errc::timed_out);
                break;
            }
        } else if (n < 0 && errno != EINTR) {
            error = error_code(errno, boost::system::system_category());
            break;
        } else if (n == 0) {
            break;
        }
    }
    return written;
}

void TamSerial::close() {
    {
        std::lock_guard<std::mutex> rest(restMutex_);
        closing_ = true;
        armRestTimer(std::chrono::steady_clock::time_point());  // ends a rest at once
    }
    std::lock_guard<std::mutex> writing(writeMutex_);
    error_code error;
    std::promise<error_code> closed;
    bool posted = false;
    {
        std::lock_guard<std::mutex> lock(ioStateMutex_);
        if (readerActive_) {
            asio::post(port_->io, [this, &closed] {
                error_code result;
                port_->silence.cancel();
                port_->port.close(result);
                closed.set_value(result);
            });
            posted = true;
        }
    }
    if (posted) {
        error = closed.get_future().get();
    } else {
        port_->port.close(error);
    }
    if (error) boost::throw_exception(system_error(error, "close"));
}

}  // namespace tessline
