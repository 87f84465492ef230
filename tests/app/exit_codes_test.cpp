// The exit codes that the README's table and the man page's EXIT STATUS
// document are the program's own list, no more and no fewer.
#include "hex/exit_codes.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "tests/support/scratch_dir.h"

using namespace tessline;

namespace {

// The lines of `text` from the one equal to `start` up to the next that
// begins with `next`.
std::vector<std::string> section(const std::string& text, const std::string& start, const std::string& next) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (inside && line.rfind(next, 0) == 0) break;
        if (inside) lines.push_back(line);
        if (line == start) inside = true;
    }
    return lines;
}

// The numbered codes of the list, and how many codes have a row of their own
// (the product id and the signals have one in words).
std::set<int> listedCodes(int mask) {
    std::set<int> codes;
    for (const NamedExitCode& c : kExitCodes)
        if (c.code != kExitSignalBase) codes.insert(c.code & mask);
    return codes;
}

}  // namespace

TEST(ExitCodes, ReadmeTableIsTheList) {
    const std::string readme = testing_support::readFile(SOLWATCH_SOURCE_DIR "/README.md");
    const std::regex numbered(R"(\| (-?\d+) \|.*)");
    std::set<int> documented;
    std::set<std::string> inWords;
    for (const std::string& line : section(readme, "## Exit codes", "## ")) {
        std::smatch m;
        if (std::regex_match(line, m, numbered)) {
            EXPECT_TRUE(documented.insert(std::stoi(m[1])).second) << "twice: " << line;
        } else if (line.rfind("| ", 0) == 0 && line.rfind("| Code", 0) != 0) {
            inWords.insert(line.substr(2, line.find(" |", 2) - 2));
        }
    }
    EXPECT_EQ(documented, listedCodes(~0));
    EXPECT_EQ(inWords, (std::set<std::string>{"product id", "128 + signal"}));
}

TEST(ExitCodes, ManPageExitStatusIsTheList) {
    const std::string page = testing_support::readFile(SOLWATCH_SOURCE_DIR "/dist/solwatch.1");
    const std::regex numbered(R"(\.B (\d+))");
    std::set<int> documented;
    std::set<std::string> inWords;
    std::vector<std::string> lines = section(page, ".SH EXIT STATUS", ".SH ");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i - 1] != ".TP") continue;
        std::smatch m;
        if (std::regex_match(lines[i], m, numbered)) {
            documented.insert(std::stoi(m[1]));
        } else {
            inWords.insert(lines[i]);
        }
    }
    // A process status keeps the low 8 bits: the page shows -1 as 255.
    EXPECT_EQ(documented, listedCodes(0xFF));
    EXPECT_EQ(inWords, (std::set<std::string>{".I product id", ".B 128 + signal"}));
}
