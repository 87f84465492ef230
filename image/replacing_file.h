// Saving and opening image files. A save replaces its target only once the
// new file is whole, follows the target's symbolic links and keeps its mode.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "image/text_io.h"

namespace tessline {

// Where a save to `name` lands: the end of its chain of symbolic links (a
// dangling link names the file to create). False with errno set when the
// chain cannot be followed (ELOOP for a loop).
bool resolveSaveTarget(const std::string& name, std::string& target);

// What stands in the way of saving to `name`, as far as the file system
// tells before anything is written: "" when nothing, else the system's
// reason ("Permission denied", "Is a directory", ...), followed by
// " (folder F)" when it is the folder, where the new file is made, that fails.
std::string saveTargetProblem(const std::string& name);

// A file written under a temporary name in the target's folder and renamed
// over the target only once complete: a failed or interrupted save never
// leaves a partial file and keeps any earlier file until the new one is whole.
class ReplacingFile {
public:
    // Creates the temporary file beside the resolved target, with the mode
    // (and, where allowed, the owner) of an existing target. isOpen() tells
    // whether that worked, and if not, errno holds the reason.
    explicit ReplacingFile(const std::string& name);
    ~ReplacingFile();  // removes the temporary file unless committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // False on failure, with errno saying why.
    bool write(std::string_view text);
    // Syncs the text, then renames it over the target. False on failure,
    // with errno saying why; the temporary file is gone either way.
    bool commit();

private:
    bool open();  // sets target_, temporary_ and fd_; false and errno on failure
    void discard();

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool failed_ = false;  // a write failed: commit must not rename
    int writeError_ = 0;
};

// Saves `text` as the file `fileName` through a ReplacingFile. False with
// errno set when the file cannot be created or completed.
bool saveTextFile(const std::string& fileName, std::string_view text);

// Runs `readText` on the opened file. Returns its count, or 0 when the file
// cannot be opened.
int loadImageText(const std::string& fileName, const std::function<int(TextSource&)>& readText);

}  // namespace tessline
