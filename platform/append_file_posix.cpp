#include "platform/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessline {

std::string withoutTextModeCr(std::string line) { return line; }

std::string systemErrorText(int error) { return std::strerror(error); }

bool identityOfPath(const std::string& name, FileIdentity& identity) {
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) return false;
    identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return true;
}

AppendFile::~AppendFile() { close(); }

bool AppendFile::open(const std::string& name, int& error) {
    int fd = ::open(name.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EACCES) fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno;
        return false;
    }
    handle_ = fd;
    return true;
}

void AppendFile::close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

bool AppendFile::status(FileStatus& status) const {
    struct stat info {};
    if (::fstat(static_cast<int>(handle_), &info) != 0) return false;
    status.size = info.st_size;
    status.identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    status.regular = S_ISREG(info.st_mode);
    return true;
}

bool AppendFile::readAt(std::string& into, std::int64_t offset) const {
    std::size_t done = 0;
    while (done < into.size()) {
        ssize_t got = ::pread(static_cast<int>(handle_), &into[done], into.size() - done,
                              static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool AppendFile::append(const char* data, std::size_t size, int& error) {
    while (size > 0) {
        ssize_t written = ::write(static_cast<int>(handle_), data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = written < 0 ? errno : EIO;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool AppendFile::truncate(std::int64_t size, int& error) {
    if (::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) == 0) return true;
    error = errno;
    return false;
}

bool AppendFile::sync(int& error) {
    if (::fdatasync(static_cast<int>(handle_)) == 0) return true;
    error = errno;
    return false;
}

}  // namespace tessline
