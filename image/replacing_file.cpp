#include "image/replacing_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>

namespace tessline {

FdOutputBuffer::FdOutputBuffer(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }

int FdOutputBuffer::overflow(int c) {
    if (!flushBuffer()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int FdOutputBuffer::sync() { return flushBuffer() ? 0 : -1; }

bool FdOutputBuffer::flushBuffer() {
    for (char* next = pbase(); next < pptr();) {
        const ssize_t written = ::write(fd_, next, static_cast<std::size_t>(pptr() - next));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        next += written;
    }
    setp(buffer_, buffer_ + sizeof buffer_);
    return true;
}

ReplacingFile::ReplacingFile(const std::string& target)
    : target_(target), fd_(openTemporary()), buffer_(fd_), out_(&buffer_) {}

ReplacingFile::~ReplacingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temporary_.empty()) discard();
}

int ReplacingFile::openTemporary() {
    static std::atomic<unsigned> serial{0};
    // O_EXCL so that an existing file (a stale leftover, or a link planted
    // there) is never written through; 0666 lets the umask decide the mode,
    // as it would for the target created directly.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = target_ + ".tmp" + std::to_string(::getpid()) + "-" +
                           std::to_string(serial++);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temporary_ = name;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

bool ReplacingFile::commit() {
    if (fd_ < 0) return false;
    // EINVAL: a file system that has nothing to sync; that is no failure.
    bool complete = out_.flush().good() && (::fsync(fd_) == 0 || errno == EINVAL);
    complete = (::close(fd_) == 0) && complete;
    fd_ = -1;
    if (complete && ::rename(temporary_.c_str(), target_.c_str()) == 0) {
        committed_ = true;
        return true;
    }
    discard();
    return false;
}

void ReplacingFile::discard() {
    const int reason = errno;
    ::unlink(temporary_.c_str());
    temporary_.clear();
    errno = reason;
}

int saveImageText(const std::string& fileName,
                  const std::function<int(std::ostream&)>& writeText) {
    ReplacingFile file(fileName);
    if (!file.isOpen()) return 0;
    const int count = writeText(file.stream());
    return file.commit() ? count : 0;
}

int loadImageText(const std::string& fileName,
                  const std::function<int(std::istream&)>& readText) {
    // Binary: the readers take LF and CR LF line ends alike.
    std::ifstream in(fileName, std::ios::binary);
    if (!in.is_open()) return 0;
    return readText(in);
}

}  // namespace tessline
