// Our image files against the independent tools of Debian's srecord
// (srec_cat) and binutils (objcopy): they must read our files as the window's
// bytes at the window's addresses, and their files must read back right.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "image/image_file.h"
#include "image/intel_hex.h"
#include "image/srecord.h"
#include "image_test_support.h"

extern char** environ;

namespace tessline {
namespace {

using image_test::patternBytes;
using image_test::readFile;
using image_test::ScratchDir;

// Runs a program found on PATH and returns its exit code (-1: not run). Its
// standard error goes to `errorFile`.
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

using AddressMap = std::map<std::uint64_t, std::uint8_t>;

AddressMap windowMap(const std::vector<std::uint8_t>& bytes, std::uint64_t base) {
    AddressMap map;
    for (std::size_t i = 0; i < bytes.size(); ++i) map[base + i] = bytes[i];
    return map;
}

// objcopy's Verilog memory dump: "@address" lines, then bytes in hex.
AddressMap parseVerilogDump(const std::string& text) {
    AddressMap map;
    std::istringstream in(text);
    std::uint64_t address = 0;
    for (std::string word; in >> word;) {
        if (word[0] == '@')
            address = std::stoull(word.substr(1), nullptr, 16);
        else
            map[address++] = static_cast<std::uint8_t>(std::stoul(word, nullptr, 16));
    }
    return map;
}

struct OurFile {
    const char* legend;
    const char* name;
    std::uint32_t base;
    std::uint32_t length;
};

const OurFile kOurFiles[] = {
    {"S-record, device window", "eeprom.s19", 0x8000, 4608},
    {"Intel HEX, device window", "eeprom.hex", 0x8000, 4608},
    {"S-record over 16 bits", "high.s19", 0xFFF0, 48},
    {"Intel HEX over a 64 KiB boundary", "boundary.hex", 0xFFF8, 24},
    {"Intel HEX over several pages", "pages.hex", 0x1FFF0, 70000},
};

class ExternalTools : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"srec_cat", "objcopy"})
            ASSERT_TRUE(toolAvailable(tool))
                << tool << " is missing: install the srecord and binutils packages";
    }

    // Runs a tool; on failure the message carries its standard error.
    void run(const std::vector<std::string>& argv) {
        const std::string errors = dir.file("tool-errors");
        ASSERT_EQ(runTool(argv, errors), 0) << argv[0] << ": " << readFile(errors);
    }

    // Writes one of our files through the registry row of its name.
    std::string writeOurs(const OurFile& file, const std::vector<std::uint8_t>& image);

    ScratchDir dir;
};

std::string ExternalTools::writeOurs(const OurFile& file, const std::vector<std::uint8_t>& image) {
    const std::string path = dir.file(file.name);
    EXPECT_EQ(findImageFormat(path)->writer(image.data(), file.base, file.length, path),
              int(file.length));
    return path;
}

bool isSRecordFile(const std::string& path) { return path.find(".s19") != std::string::npos; }

TEST_F(ExternalTools, ObjcopyReadsOurFilesAsTheWindow) {
    for (const auto& c : kOurFiles) {
        const auto image = patternBytes(c.length, c.base);
        const std::string path = writeOurs(c, image);
        run({"objcopy", "-I", isSRecordFile(path) ? "srec" : "ihex", "-O", "verilog", path,
             dir.file("dump.v")});
        EXPECT_EQ(parseVerilogDump(readFile(dir.file("dump.v"))), windowMap(image, c.base))
            << c.legend;
    }
}

TEST_F(ExternalTools, SrecCatReadsOurFilesAsTheWindow) {
    for (const auto& c : kOurFiles) {
        const auto image = patternBytes(c.length, c.base);
        const std::string path = writeOurs(c, image);
        // Moved down by the base, the window must be the whole binary.
        run({"srec_cat", path, isSRecordFile(path) ? "-motorola" : "-intel", "-offset",
             "-" + std::to_string(c.base), "-o", dir.file("window.bin"), "-binary"});
        const std::string bytes = readFile(dir.file("window.bin"));
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), image) << c.legend;
    }
}

struct ToolFile {
    const char* legend;
    std::vector<std::string> command;  // "IN" and "OUT" stand for the files
    std::uint32_t address;             // where the tool puts the binary
    const char* mustContain;           // proves the record kind under test
};

// Windows that cover the start and the end of the tool's data, partly.
TEST_F(ExternalTools, FilesOfTheToolsReadBackRight) {
    const ToolFile files[] = {
        {"srec_cat S1", {"srec_cat", "IN", "-binary", "-offset", "0x8000", "-o", "OUT",
                         "-motorola", "-address-length=2"}, 0x8000, "\nS1"},
        {"srec_cat S2", {"srec_cat", "IN", "-binary", "-offset", "0x18000", "-o", "OUT",
                         "-motorola", "-address-length=3"}, 0x18000, "\nS2"},
        {"srec_cat S3", {"srec_cat", "IN", "-binary", "-offset", "0x8000", "-o", "OUT",
                         "-motorola", "-address-length=4"}, 0x8000, "\nS3"},
        {"objcopy S2", {"objcopy", "-I", "binary", "-O", "srec", "--change-addresses",
                        "0x18000", "IN", "OUT"}, 0x18000, "\nS2"},
        {"objcopy S3", {"objcopy", "-I", "binary", "-O", "srec", "--srec-forceS3",
                        "--change-addresses", "0x1000000", "IN", "OUT"}, 0x1000000, "\nS3"},
        {"srec_cat type 4", {"srec_cat", "IN", "-binary", "-offset", "0x18000", "-o", "OUT",
                             "-intel"}, 0x18000, ":02000004"},
        {"objcopy type 2", {"objcopy", "-I", "binary", "-O", "ihex", "--change-addresses",
                            "0x18000", "IN", "OUT"}, 0x18000, ":02000002"},
        {"objcopy type 4", {"objcopy", "-I", "binary", "-O", "ihex", "--change-addresses",
                            "0x1018000", "IN", "OUT"}, 0x1018000, ":02000004"},
    };
    const auto data = patternBytes(256, 12);
    image_test::writeFile(dir.file("data.bin"), std::string(data.begin(), data.end()));
    for (const auto& f : files) {
        const bool intel = f.mustContain[0] == ':';
        const std::string path = dir.file(intel ? "tool.hex" : "tool.s19");
        std::vector<std::string> argv = f.command;
        for (auto& arg : argv) arg = arg == "IN" ? dir.file("data.bin") : arg == "OUT" ? path : arg;
        run(argv);
        ASSERT_NE(readFile(path).find(f.mustContain), std::string::npos) << f.legend;

        for (const std::int64_t start : {std::int64_t{-50}, std::int64_t{200}}) {
            const std::uint32_t base = static_cast<std::uint32_t>(f.address + start);
            std::vector<std::uint8_t> window(100, 0xEE);
            AddressMap expected = windowMap(window, base);
            int covered = 0;
            for (std::size_t i = 0; i < data.size(); ++i) {
                if (expected.count(f.address + i)) {
                    expected[f.address + i] = data[i];
                    ++covered;
                }
            }
            EXPECT_EQ(loadImage(window.data(), base, 100, path), covered)
                << f.legend << " from " << start;
            EXPECT_EQ(windowMap(window, base), expected) << f.legend << " from " << start;
        }
    }
}

}  // namespace
}  // namespace tessline
