#include "plot/picture_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tessline {

namespace {

std::string failure(const std::string& target, int error) {
    return "cannot write " + target + ": " + std::strerror(error);
}

}  // namespace

PictureFile::PictureFile(std::string target) : target_(std::move(target)) {
    // O_EXCL: never write through a file or link that is already there;
    // 0666 leaves the mode to the umask, as for the target made directly.
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temporary_ = target_ + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) throw std::runtime_error(failure(target_, errno));
}

PictureFile::~PictureFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temporary_.c_str());
}

void PictureFile::write(std::string_view bytes) {
    while (!bytes.empty() && writeError_ == 0) {
        ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) writeError_ = errno;
        else bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void PictureFile::commit() {
    int error = writeError_;
    if (error == 0 && ::fsync(fd_) != 0 && errno != EINVAL) error = errno;
    if (::close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    if (error == 0 && ::rename(temporary_.c_str(), target_.c_str()) != 0) error = errno;
    if (error != 0) throw std::runtime_error(failure(target_, error));
    committed_ = true;
}

}  // namespace tessline
