// ReplacingFile on Windows: the new file is written in binary mode (the
// image formats end their lines with CR LF themselves, on every system; text
// mode would make that CR CR LF) under a temporary name beside the target,
// pushed to the disk, and moved over the target in one step. Windows' symbolic
// links are left to the system: the target is the name as given.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "image/replacing_file.h"
#include "platform/windows_text.h"

namespace tessline {

namespace {

// The errno value closest to a Windows error, for the callers' strerror().
int errnoFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT: return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME: return EINVAL;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        default: return EIO;
    }
}

// The folder part of a path with either separator, "." when it has none.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string problemText(int error) { return std::strerror(error); }

}  // namespace

bool resolveSaveTarget(const std::string& name, std::string& target) {
    target = name;
    return true;
}

std::string saveTargetProblem(const std::string& name) {
    const DWORD attributes = GetFileAttributesW(widePath(name).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return problemText(EISDIR);
        if (attributes & FILE_ATTRIBUTE_READONLY) return problemText(EACCES);
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return problemText(errnoFor(GetLastError()));
    }
    const std::string folder = folderOf(name);
    const DWORD folderAttributes = GetFileAttributesW(widePath(folder).c_str());
    int error = 0;
    if (folderAttributes == INVALID_FILE_ATTRIBUTES)
        error = errnoFor(GetLastError());
    else if (!(folderAttributes & FILE_ATTRIBUTE_DIRECTORY))
        error = ENOTDIR;
    return error ? problemText(error) + " (folder " + folder + ")" : std::string();
}

ReplacingFile::ReplacingFile(const std::string& name) : target_(name) {
    if (open()) return;
    const int reason = errno;
    if (!temporary_.empty()) discard();
    errno = reason;
}

ReplacingFile::~ReplacingFile() {
    if (fd_ >= 0) _close(fd_);
    if (!temporary_.empty()) discard();
}

bool ReplacingFile::open() {
    const DWORD attributes = GetFileAttributesW(widePath(target_).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EISDIR;
        return false;
    }
    static std::atomic<unsigned> serial{0};
    // CREATE_NEW, so that an existing file (a stale leftover) is never
    // written through.
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        std::string name = target_ + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(serial++);
        HANDLE file = CreateFileW(widePath(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            errno = errnoFor(GetLastError());
            return false;
        }
        fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
        if (fd_ < 0) {
            CloseHandle(file);
            DeleteFileW(widePath(name).c_str());
            errno = EMFILE;
            return false;
        }
        temporary_ = name;
    }
    if (fd_ < 0) errno = EEXIST;
    return fd_ >= 0;
}

bool ReplacingFile::write(std::string_view text) {
    while (!failed_ && !text.empty()) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(text.size(), 1u << 20));
        const int written = _write(fd_, text.data(), chunk);
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
    if (!error && _commit(fd_) != 0) error = errno;
    if (_close(fd_) != 0 && !error) error = errno;
    fd_ = -1;
    if (!error && MoveFileExW(widePath(temporary_).c_str(), widePath(target_).c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        temporary_.clear();
        return true;
    }
    if (!error) error = errnoFor(GetLastError());
    discard();
    errno = error;
    return false;
}

void ReplacingFile::discard() {
    const int reason = errno;
    DeleteFileW(widePath(temporary_).c_str());
    temporary_.clear();
    errno = reason;
}

}  // namespace tessline
