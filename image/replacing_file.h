// Saving and opening image files.
#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>

namespace tessline {

// Buffered output to a POSIX file descriptor that keeps errno of a failed write.
class FdOutputBuffer : public std::streambuf {
public:
    explicit FdOutputBuffer(int fd);

protected:
    int overflow(int c) override;
    int sync() override;

private:
    bool flushBuffer();

    int fd_;
    char buffer_[8192];
};

// A file written under a temporary name in the target's folder and renamed
// over the target only once complete: a failed or interrupted save never
// leaves a partial file and keeps any earlier file until the new one is whole.
class ReplacingFile {
public:
    // Creates the temporary file; isOpen() tells whether that worked, and if
    // not, errno holds the reason.
    explicit ReplacingFile(const std::string& target);
    ~ReplacingFile();  // removes the temporary file unless committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    std::ostream& stream() { return out_; }

    // Flushes and syncs the text, then renames it over the target. False on
    // failure, with errno saying why; the temporary file is gone either way.
    bool commit();

private:
    int openTemporary();  // sets temporary_; -1 and errno on failure
    void discard();

    // Initialised in this order: openTemporary() needs the names.
    std::string target_;
    std::string temporary_;
    int fd_;
    bool committed_ = false;
    FdOutputBuffer buffer_;
    std::ostream out_;
};

// Runs `writeText` on a ReplacingFile for `fileName`. Returns its count, or 0
// (errno set) when the file cannot be created or completed.
int saveImageText(const std::string& fileName,
                  const std::function<int(std::ostream&)>& writeText);

// Runs `readText` on the opened file. Returns its count, or 0 when the file
// cannot be opened.
int loadImageText(const std::string& fileName,
                  const std::function<int(std::istream&)>& readText);

}  // namespace tessline
