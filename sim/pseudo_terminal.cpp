#include "sim/pseudo_terminal.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tessline {

namespace {

[[noreturn]] void throwErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

PseudoTerminal::PseudoTerminal() { openPair(); }

void PseudoTerminal::openPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) throwErrno("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        int error = errno;
        ::close(master_);
        throw std::system_error(error, std::generic_category(), "unlockpt");
    }
    const char* name = ptsname(master_);
    if (!name) throwErrno("ptsname");
    slavePath_ = name;
    int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) < 0) throwErrno("fcntl");
    makeSlaveRaw();
}

PseudoTerminal::~PseudoTerminal() { hangUp(); }

// The settings stay with the pair after the slave is closed again, so the
// host finds no echo and no CR/LF translation when it opens it. The slave is
// not kept open here: the host locks it for exclusive use.
void PseudoTerminal::makeSlaveRaw() {
    int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) throwErrno("open slave");
    termios settings{};
    bool ok = tcgetattr(slave, &settings) == 0;
    if (ok) {
        cfmakeraw(&settings);
        cfsetispeed(&settings, B19200);
        cfsetospeed(&settings, B19200);
        ok = tcsetattr(slave, TCSANOW, &settings) == 0;
    }
    int error = errno;
    ::close(slave);
    if (!ok) throw std::system_error(error, std::generic_category(), "tcsetattr");
}

bool PseudoTerminal::hostPresent() const {
    if (master_ < 0) return false;
    pollfd fd{master_, POLLIN, 0};
    if (poll(&fd, 1, 0) < 0) return true;  // interrupted: decide next time
    return (fd.revents & POLLHUP) == 0;
}

PseudoTerminal::Read PseudoTerminal::read(std::string& into) {
    char buffer[1024];
    ssize_t count = ::read(master_, buffer, sizeof buffer);
    if (count > 0) {
        into.append(buffer, static_cast<std::size_t>(count));
        return Read::data;
    }
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) return Read::nothing;
    return Read::noHost;  // EIO: the last slave descriptor was closed
}

long PseudoTerminal::write(const std::string& bytes) {
    ssize_t count = ::write(master_, bytes.data(), bytes.size());
    if (count >= 0) return count;
    if (errno == EAGAIN || errno == EINTR) return 0;
    return -1;
}

bool PseudoTerminal::unlockSlave() {
    int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) return false;
    ioctl(slave, TIOCNXCL);
    ::close(slave);
    return true;
}

void PseudoTerminal::renew() {
    hangUp();
    openPair();
}

void PseudoTerminal::hangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

}  // namespace tessline
