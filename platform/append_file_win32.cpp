#include "platform/append_file.h"

#include <windows.h>

#include <algorithm>

#include "platform/windows_text.h"

namespace tessline {

namespace {

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Every kind of sharing: a reader may follow the file, and the file may be
// renamed or deleted (moved away by the user) while it is open, as on POSIX.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

OVERLAPPED at(std::int64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    where.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return where;
}

}  // namespace

std::string withoutTextModeCr(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string systemErrorText(int error) { return windowsErrorText(static_cast<unsigned long>(error)); }

bool identityOfPath(const std::string& name, FileIdentity& identity) {
    HANDLE file = CreateFileW(widePath(name).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (known) identity = identityOf(info);
    return known;
}

AppendFile::~AppendFile() { close(); }

bool AppendFile::open(const std::string& name, int& error) {
    const std::wstring path = widePath(name);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        file = CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

void AppendFile::close() {
    if (handle_ != -1) CloseHandle(handleOf(handle_));
    handle_ = -1;
}

bool AppendFile::status(FileStatus& status) const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handleOf(handle_), &info)) {
        // A console or a pipe has no file information: no size, not regular.
        status = FileStatus{};
        return GetFileType(handleOf(handle_)) != FILE_TYPE_UNKNOWN;
    }
    status.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                            info.nFileSizeLow);
    status.identity = identityOf(info);
    status.regular = GetFileType(handleOf(handle_)) == FILE_TYPE_DISK &&
                     !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    return true;
}

bool AppendFile::readAt(std::string& into, std::int64_t offset) const {
    std::size_t done = 0;
    while (done < into.size()) {
        OVERLAPPED where = at(offset + static_cast<std::int64_t>(done));
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1u << 30));
        if (!ReadFile(handleOf(handle_), &into[done], wanted, &got, &where) || got == 0) return false;
        done += got;
    }
    return true;
}

bool AppendFile::append(const char* text, std::size_t length, int& error) {
    std::string lines;
    lines.reserve(length + length / 16);
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '\n') lines += '\r';
        lines += text[i];
    }
    // One write for the whole text, so that a failure leaves at most this
    // text to cut off.
    const char* data = lines.data();
    std::size_t size = lines.size();
    while (size > 0) {
        // Both offset halves all ones: at the end of the file, whoever else
        // wrote to it meanwhile.
        OVERLAPPED end{};
        end.Offset = 0xFFFFFFFF;
        end.OffsetHigh = 0xFFFFFFFF;
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!WriteFile(handleOf(handle_), data, chunk, &written, &end)) {
            error = static_cast<int>(GetLastError());
            return false;
        }
        if (written == 0) {
            error = ERROR_WRITE_FAULT;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool AppendFile::truncate(std::int64_t size, int& error) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    if (SetFileInformationByHandle(handleOf(handle_), FileEndOfFileInfo, &end, sizeof end)) return true;
    error = static_cast<int>(GetLastError());
    return false;
}

bool AppendFile::sync(int& error) {
    if (FlushFileBuffers(handleOf(handle_))) return true;
    error = static_cast<int>(GetLastError());
    return false;
}

}  // namespace tessline
