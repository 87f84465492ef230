// Helpers of the image file tests: a scratch folder, file text, line
// splitting, known byte patterns and running the independent tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace image_test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
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

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);

// Lines of a text whose every line must end in CR LF; `allCrLf` is cleared
// when a line ends otherwise.
std::vector<std::string> crLfLines(const std::string& text, bool& allCrLf);

// Bytes that differ from their neighbours and from a plain counter.
std::vector<std::uint8_t> patternBytes(std::size_t count, unsigned seed);

// Upper-case hex digits of the bytes, two each, no separators.
std::string hexBytes(const std::vector<std::uint8_t>& bytes);

// Runs a program found on PATH and returns its exit code (-1: not run). Its
// standard error goes to `errorFile`.
int runTool(const std::vector<std::string>& argv, const std::string& errorFile);
bool toolAvailable(const std::string& name);

}  // namespace image_test
