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

struct Documented {
    std::set<int> numbered;
    std::set<std::string> inWords;  // the product id and the signals
};

// The entries of the section of `file` that starts with the line `start`
// and ends before the next line that begins with `next`: the lines that
// `entry` matches, numbered when its first group is a number.
Documented documented(const std::string& file, const std::string& start, const std::string& next,
                      const std::regex& entry) {
    std::istringstream in(testing_support::readFile(std::string(SOLWATCH_SOURCE_DIR "/") + file));
    Documented found;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (inside && line.rfind(next, 0) == 0) break;
        std::smatch m;
        if (inside && std::regex_match(line, m, entry)) {
            if (std::regex_match(m.str(1), std::regex(R"(-?\d+)"))) {
                EXPECT_TRUE(found.numbered.insert(std::stoi(m.str(1))).second) << "twice: " << line;
            } else {
                found.inWords.insert(m.str(1));
            }
        }
        if (line == start) inside = true;
    }
    return found;
}

// `mask`: a process status keeps the low 8 bits, the man page shows -1 as 255.
std::set<int> listedCodes(int mask) {
    std::set<int> codes;
    for (const NamedExitCode& c : kExitCodes)
        if (c.code != kExitSignalBase) codes.insert(c.code & mask);
    return codes;
}

}  // namespace

TEST(ExitCodes, ReadmeAndManPageShowTheList) {
    Documented readme = documented("README.md", "## Exit codes", "## ", std::regex(R"(\| ([^|]*[^ |]) \|.*)"));
    readme.inWords.erase("Code");
    EXPECT_EQ(readme.numbered, listedCodes(~0));
    EXPECT_EQ(readme.inWords, (std::set<std::string>{"product id", "128 + signal"}));

    Documented page = documented("dist/solwatch.1", ".SH EXIT STATUS", ".SH ", std::regex(R"(\.[BI] (.*))"));
    EXPECT_EQ(page.numbered, listedCodes(0xFF));
    EXPECT_EQ(page.inWords, (std::set<std::string>{"product id", "128 + signal"}));
}
