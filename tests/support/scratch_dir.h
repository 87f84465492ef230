// A fresh folder for a test's files, and whole-file reads and writes.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// A new folder under $TMPDIR (or /tmp), removed with everything in it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> entries() const;  // names in the folder, sorted

private:
    std::string path_;
};

// Makes a new folder under $TMPDIR (or /tmp; on Windows the user's
// temporary folder) named `prefix` and a unique ending; its path.
std::string makeTempFolder(const std::string& prefix);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

}  // namespace testing_support
