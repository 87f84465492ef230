// A file that lines are appended to, with what each system offers for it:
// read back at an offset, cut back to a size, pushed to the disk, and told
// apart from another file that later takes its name. Failures give the
// system's error code, which systemErrorText() explains.
#pragma once

#include <cstdint>
#include <string>

namespace tessline {

// Which file a name led to: the device and inode on POSIX, the volume and
// file index on Windows.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
};

struct FileStatus {
    std::int64_t size = 0;
    FileIdentity identity;
    bool regular = false;  // a file on a disk, not a device or a pipe
};

// A line read back from an AppendFile without the CR that Windows' text
// mode wrote before its LF; unchanged on POSIX, where lines end in LF alone.
std::string withoutTextModeCr(std::string line);

// The system's text for an error code of this layer ("No space left on device").
std::string systemErrorText(int error);

// The identity of the file that `name` leads to now; false when none.
bool identityOfPath(const std::string& name, FileIdentity& identity);

class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens `name` for reading and appending, creating it when missing; a
    // file that may only be written is opened for appending alone. Others
    // may read, write, rename and delete it meanwhile. False with `error`.
    bool open(const std::string& name, int& error);
    void close();

    bool status(FileStatus& status) const;
    // Fills `into` whole from `offset`; false on a failure or the file's end.
    bool readAt(std::string& into, std::int64_t offset) const;
    // Writes all of `size` bytes at the file's end, each LF as CR LF on
    // Windows (the C runtime's text mode); false with `error`.
    bool append(const char* data, std::size_t size, int& error);
    bool truncate(std::int64_t size, int& error);
    // The written data on the disk; false with `error`.
    bool sync(int& error);

private:
    std::intptr_t handle_ = -1;  // a descriptor on POSIX, a HANDLE on Windows
};

}  // namespace tessline
