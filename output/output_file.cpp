#include "output/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "log/log.h"

namespace tessline {

namespace {

// How far back from the end the last header is looked for: a whole day of
// rows a second, or days of the widest rows a minute.
constexpr off_t kHeaderSearchBytes = 16 << 20;
constexpr std::size_t kReadBlock = 64 << 10;

std::string systemReason(int error) { return std::strerror(error); }

bool writeAll(int fd, const char* data, std::size_t size, int& error) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
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

}  // namespace

bool isHeaderLine(const std::string& line) {
    if (line.empty()) return false;
    for (std::size_t start = 0; start != std::string::npos;) {
        if (start >= line.size() || !std::isalpha(static_cast<unsigned char>(line[start]))) return false;
        std::size_t comma = line.find(',', start);
        start = comma == std::string::npos ? comma : comma + 1;
    }
    return true;
}

OutputFile::OutputFile(std::string name) : name_(std::move(name)) {
    // Read and write, so that the last header can be read back; a file
    // that may only be written is appended to all the same.
    fd_ = ::open(name_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0 && errno == EACCES) fd_ = ::open(name_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) throw OutputError("cannot open output file " + name_ + ": " + systemReason(errno));
    struct stat info {};
    if (::fstat(fd_, &info) == 0) {
        device_ = info.st_dev;
        inode_ = info.st_ino;
        regular_ = S_ISREG(info.st_mode);
        hadContent_ = regular_ && info.st_size > 0;
    }
    std::string last(1, '\n');
    if (hadContent_ && readAt(last, info.st_size - 1) && last != "\n") {
        // A power cut may have ended the file inside a row: the next row
        // starts on a line of its own instead of being glued to the fragment.
        try {
            append("\n");
        } catch (...) {
            ::close(fd_);  // no destructor runs for an object not made
            throw;
        }
    }
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool OutputFile::readAt(std::string& into, off_t offset) const {
    std::size_t done = 0;
    while (done < into.size()) {
        ssize_t got = ::pread(fd_, &into[done], into.size() - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::string OutputFile::firstLine(off_t size) const {
    std::string text(static_cast<std::size_t>(std::min<off_t>(size, kReadBlock)), '\0');
    if (!readAt(text, 0)) return "";
    return text.substr(0, text.find('\n'));
}

std::string OutputFile::lastHeaderLine() const {
    struct stat info {};
    if (!hadContent_ || ::fstat(fd_, &info) != 0) return "";
    const off_t size = info.st_size;
    off_t position = size;
    std::string carry;  // the part of the file after `position` up to its first line end
    while (position > 0 && size - position < kHeaderSearchBytes) {
        std::size_t count = static_cast<std::size_t>(std::min<off_t>(kReadBlock, position));
        position -= static_cast<off_t>(count);
        std::string text(count, '\0');
        if (!readAt(text, position)) return "";
        text += carry;
        // Whole lines are those after a line end; the text before the first
        // one is a whole line only at the file's start.
        std::size_t end = text.size();
        for (std::size_t lineEnd; end > 0 && (lineEnd = text.rfind('\n', end - 1)) != std::string::npos;
             end = lineEnd) {
            std::string line = text.substr(lineEnd + 1, end - lineEnd - 1);
            if (isHeaderLine(line)) return line;
        }
        carry = text.substr(0, end);
        if (position == 0) return isHeaderLine(carry) ? carry : "";
    }
    // A table longer than the stretch: its header is the file's first line
    // when that is one.
    std::string first = firstLine(size);
    return isHeaderLine(first) ? first : "";
}

void OutputFile::append(const std::string& text) {
    struct stat before {};
    const bool knowsSize = regular_ && ::fstat(fd_, &before) == 0;
    int error = 0;
    if (writeAll(fd_, text.data(), text.size(), error)) return;
    // A device such as /dev/full cannot be cut, and needs no cutting.
    if (knowsSize && ::ftruncate(fd_, before.st_size) != 0)
        logError("output", "cannot cut the unfinished row from %s: %s", name_.c_str(),
                 systemReason(errno).c_str());
    throw OutputError("cannot write " + name_ + ": " + systemReason(error));
}

bool OutputFile::stillAtPath() const {
    struct stat info {};
    return ::stat(name_.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_;
}

void OutputFile::sync() {
    if (regular_ && ::fdatasync(fd_) != 0)
        logError("output", "cannot save %s to the disk: %s", name_.c_str(), systemReason(errno).c_str());
}

}  // namespace tessline
