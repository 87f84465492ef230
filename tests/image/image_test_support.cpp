#include "image_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <algorithm>

#include "round_trip.h"

extern char** environ;

namespace image_test {

WrittenText writeText(tessline::ImageTextWriter write, const std::vector<std::uint8_t>& image,
                      std::uint32_t base) {
    std::string text;
    WrittenText written;
    written.count = write(text, image.data(), base, static_cast<std::uint32_t>(image.size()));
    written.allCrLf = !text.empty() && text.back() == '\n';
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.back() != '\r')
            written.allCrLf = false;
        else
            line.pop_back();
        written.lines.push_back(line);
    }
    return written;
}

std::vector<std::string> wholeWindowLines(tessline::ImageTextWriter write,
                                          const std::vector<std::uint8_t>& image,
                                          std::uint32_t base) {
    const auto written = writeText(write, image, base);
    EXPECT_EQ(written.count, int(image.size()));
    EXPECT_TRUE(written.allCrLf);
    return written.lines;
}

void expectWindowReads(tessline::ImageTextReader read, const std::vector<WindowReadCase>& cases) {
    for (const auto& c : cases) {
        int stored = 0;
        const auto window = readIntoWindow(read, c.text, 0x1000, 16, stored);
        EXPECT_EQ(stored, c.stored) << c.legend;
        EXPECT_EQ(hexBytes(window), c.window) << c.legend;
    }
}

std::vector<std::uint8_t> patternBytes(std::size_t count, unsigned seed) {
    std::vector<std::uint8_t> bytes(count);
    unsigned state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (auto byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

int runTool(const std::vector<std::string>& argv, const std::string& errorFile) {
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid;
    const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool toolAvailable(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && ::access((folder + "/" + name).c_str(), X_OK) == 0) return true;
    return false;
}

}  // namespace image_test
