#include "image/replacing_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tessline {

namespace {

// The kernel's own bound on links followed in one path lookup.
constexpr int kMaxLinks = 40;

// The folder part of a path, "." when it has none.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The errno value that refuses a target of this kind: a save replaces only
// regular files (a rename over a device or a pipe would remove it).
int kindError(const struct stat& info) {
    if (S_ISDIR(info.st_mode)) return EISDIR;
    return S_ISREG(info.st_mode) ? 0 : EINVAL;
}

std::string folderProblem(const std::string& folder) {
    struct stat info;
    int error = 0;
    if (::stat(folder.c_str(), &info) != 0)
        error = errno;
    else if (!S_ISDIR(info.st_mode))
        error = ENOTDIR;
    else if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        error = errno;
    return error ? std::string(std::strerror(error)) + " (folder " + folder + ")" : std::string();
}

}  // namespace

bool resolveSaveTarget(const std::string& name, std::string& target) {
    target = name;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat info;
        // Anything but a link (or nothing there) is the end of the chain; an
        // error on the way shows again when the file is opened.
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
        char link[PATH_MAX];
        const ssize_t size = ::readlink(target.c_str(), link, sizeof link);
        if (size < 0) return false;
        if (static_cast<std::size_t>(size) == sizeof link) {
            errno = ENAMETOOLONG;
            return false;
        }
        const std::string next(link, static_cast<std::size_t>(size));
        target = next[0] == '/' ? next : folderOf(target) + "/" + next;
    }
    errno = ELOOP;
    return false;
}

std::string saveTargetProblem(const std::string& name) {
    std::string target;
    if (!resolveSaveTarget(name, target)) return std::strerror(errno);
    struct stat info;
    if (::stat(target.c_str(), &info) == 0) {
        if (const int error = kindError(info))
            return error == EINVAL ? "not a regular file" : std::strerror(error);
        // As the shell's ">" would find it: the effective user's rights.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            return std::strerror(errno);
    } else if (errno != ENOENT) {
        return std::strerror(errno);
    }
    return folderProblem(folderOf(target));
}

ReplacingFile::ReplacingFile(const std::string& name) : target_(name) {
    if (open()) return;
    const int reason = errno;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) discard();
    errno = reason;
}

ReplacingFile::~ReplacingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) discard();
}

bool ReplacingFile::open() {
    if (!resolveSaveTarget(target_, target_)) return false;
    struct stat existing;
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && kindError(existing)) {
        errno = kindError(existing);
        return false;
    }
    static std::atomic<unsigned> serial{0};
    // O_EXCL so that an existing file (a stale leftover, or a link planted
    // there) is never written through; 0666 lets the umask decide the mode
    // of a new target, as it would for the target created directly.
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        std::string name = target_ + ".tmp" + std::to_string(::getpid()) + "-" +
                           std::to_string(serial++);
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            temporary_ = name;
        else if (errno != EEXIST)
            return false;
    }
    if (fd_ < 0 || !exists) return fd_ >= 0;
    // The owner only where the user may give it (root): a refusal leaves
    // the file ours. The mode always, after the owner, since a change of
    // owner clears set-id bits.
    if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) {
        [[maybe_unused]] const bool ownerKept = ::fchown(fd_, existing.st_uid, existing.st_gid) == 0;
    }
    return ::fchmod(fd_, existing.st_mode & 07777) == 0;
}

bool ReplacingFile::write(std::string_view text) {
    while (!failed_ && !text.empty()) {
        const ssize_t written = ::write(fd_, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) {
            failed_ = true;
            writeError_ = errno;
            break;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    if (failed_) errno = writeError_;
    return !failed_;
}

bool ReplacingFile::commit() {
    if (fd_ < 0) return false;
    int error = failed_ ? writeError_ : 0;
    // EINVAL: a file system that has nothing to sync; that is no failure.
    if (!error && ::fsync(fd_) != 0 && errno != EINVAL) error = errno;
    if (::close(fd_) != 0 && !error) error = errno;
    fd_ = -1;
    if (!error && ::rename(temporary_.c_str(), target_.c_str()) == 0) {
        temporary_.clear();
        return true;
    }
    if (!error) error = errno;
    discard();
    errno = error;
    return false;
}

void ReplacingFile::discard() {
    const int reason = errno;
    ::unlink(temporary_.c_str());
    temporary_.clear();
    errno = reason;
}

}  // namespace tessline
