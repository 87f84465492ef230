// The write mode against solwatch-sim: the image in each format, damaged
// blocks, targets that cannot be written, links and modes, and a standard
// output that goes away during the save.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

const std::string kSetAddressRequest = ":891ED";  // in the traffic dump of -d

bool exists(const std::string& name) {
    struct stat info;
    return ::lstat(name.c_str(), &info) == 0;
}

std::size_t countLines(const std::string& text, const std::string& line) {
    std::size_t count = 0;
    for (const auto& l : splitLines(unstamped(text))) count += l == line;
    return count;
}

class WriteMode : public ::testing::Test {
protected:
    void SetUp() override {
        eeprom = dir.file("eeprom.bin");
        for (int i = 0; i < 4608; ++i) expected += static_cast<char>((i * 7 + i / 256) & 0xFF);
        writeFile(eeprom, expected);
    }
    // The image file converted back to the window's bytes by srec_cat.
    std::string throughSrecCat(const std::string& file, const char* format) {
        std::string out = dir.file("back.bin");
        ProcessResult r = runProcess({"/usr/bin/srec_cat", file, format, "-crop", "0x8000", "0x9200", "-offset",
                                      "-0x8000", "-o", out, "-binary"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return readFile(out);
    }
    ScratchDir dir;
    std::string eeprom;
    std::string expected;
};

}  // namespace

TEST_F(WriteMode, SavesTheEepromInEachFormat) {
    SimProcess sim({"--eeprom", eeprom});
    struct Case {
        const char* name;
        const char* srecFormat;  // how srec_cat reads it back; null for CSV
    } cases[] = {{"image.s19", "-motorola"}, {"image.HEX", "-intel"}, {"image.csv", nullptr}};
    for (const auto& c : cases) {
        std::string file = dir.file(c.name);
        ProcessResult r = runSolwatch({"-s", sim.path(), "-w", file}, 60s);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("\rreading 0%", 0), 0u);
        const std::string end = "\rreading 99%\rreading done\r\n";
        ASSERT_GT(r.out.size(), end.size());
        EXPECT_EQ(r.out.substr(r.out.size() - end.size()), end);
        std::size_t progress = 0;
        for (std::size_t p = r.out.find("\rreading "); p != std::string::npos; p = r.out.find("\rreading ", p + 1))
            ++progress;
        EXPECT_EQ(progress, 289u);  // 288 blocks and "done"
        if (c.srecFormat) {
            EXPECT_EQ(throughSrecCat(file, c.srecFormat), expected) << c.name;
        } else {
            auto lines = splitLines(readFile(file));
            ASSERT_EQ(lines.size(), 4608u);
            for (std::size_t i = 0; i < lines.size(); ++i) {
                std::string value = lines[i];
                while (!value.empty() && (value.back() == '\r' || value.back() == ',')) value.pop_back();
                ASSERT_EQ(std::stoi(value), static_cast<unsigned char>(expected[i])) << i;
            }
        }
    }
}

// The number N of "N of 288 EEPROM blocks failed" in a report; -1 without one.
int failedBlocks(const std::string& err) {
    const std::size_t at = err.find(" of 288 EEPROM blocks failed");
    if (at == std::string::npos) return -1;
    std::size_t start = at;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(err[start - 1]))) --start;
    return start == at ? -1 : std::stoi(err.substr(start, at - start));
}

// Blocks short or refused: the earlier image stays, what was read goes
// beside it, and the report counts the blocks. Short answers end with one
// line that counts the missing bytes.
TEST_F(WriteMode, DamagedBlocksKeepTheEarlierImageAndSaveWhatWasRead) {
    struct Case {
        std::vector<std::string> fault;
        const char* logLine;  // logged for each short or refused block
        std::size_t logLines;
        int failed;
        std::string summary;  // the missing bytes' line, empty for none
    } cases[] = {
        {{"--truncate-eeprom", "10"}, "ERR.solwatch: data truncated", 288 * 6, 288,
         "ERR.solwatch: data truncated: 1728 bytes missing, from 0x800A to 0x91FF"},
        {{"--absent-register", "0xED91"}, "ERR.solwatch: setRegister: failed", 288, 288, ""},
    };
    const std::string target = dir.file("eeprom.s19");
    const std::string partial = dir.file("eeprom.partial.s19");
    for (const auto& c : cases) {
        const std::string legend = c.fault[0];
        writeFile(target, "earlier image\r\n");
        std::vector<std::string> options{"--eeprom", eeprom};
        options.insert(options.end(), c.fault.begin(), c.fault.end());
        SimProcess sim(options);
        ProcessResult r = runSolwatch({"-s", sim.path(), "-w", target}, 120s);
        EXPECT_EQ(r.exitCode, 255) << legend;
        EXPECT_EQ(readFile(target), "earlier image\r\n") << legend;
        EXPECT_NE(r.err.find("cannot save image " + target + ": "), std::string::npos) << legend << r.err;
        EXPECT_NE(r.err.find("EEPROM blocks failed; what was read is saved in " + partial), std::string::npos)
            << legend << r.err;
        EXPECT_EQ(failedBlocks(r.err), c.failed) << legend;
        EXPECT_EQ(countLines(r.err, c.logLine), c.logLines) << legend;
        const std::string banner = "========================== ERROR =============================";
        const std::vector<std::string> lines = splitLines(unstamped(r.err));
        const auto summary = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.rfind("ERR.solwatch: data truncated: ", 0) == 0;
        });
        if (c.summary.empty()) {
            EXPECT_EQ(summary, lines.end()) << legend;
        } else {
            // The last line before the report.
            ASSERT_NE(summary, lines.end()) << legend << r.err;
            EXPECT_EQ(*summary, c.summary);
            ASSERT_NE(summary + 1, lines.end()) << legend;
            EXPECT_EQ(summary[1], banner) << legend;
        }

        ASSERT_TRUE(exists(partial)) << legend;
        const std::string image = throughSrecCat(partial, "-motorola");
        ASSERT_EQ(image.size(), 4608u) << legend;
        // Each block holds what the device sent, zeros after a short answer
        // and in place of a failed block.
        for (std::size_t block = 0; block < 288; ++block) {
            const std::string got = image.substr(16 * block, 16);
            std::string want = expected.substr(16 * block, 16);
            if (legend == "--truncate-eeprom") want.replace(10, 6, 6, '\0');
            if (got != std::string(16, '\0')) {
                ASSERT_EQ(got, want) << legend << " block " << block;
            }
        }
        ::unlink(partial.c_str());
    }
}

// A reception error before every answer asks for each request again, and
// the device answers both sends. The second answer comes after the next
// request went out; taken for that one's, it gave a block the data of the
// block before it. Every block must hold its own data.
TEST_F(WriteMode, ReceptionErrorsOnEveryAnswerStillSaveTheRightImage) {
    const std::string target = dir.file("eeprom.s19");
    SimProcess sim({"--eeprom", eeprom, "--reception-error", "0xAAAA"});
    ProcessResult r = runSolwatch({"-s", sim.path(), "-w", target}, 120s);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string image = throughSrecCat(target, "-motorola");
    ASSERT_EQ(image.size(), 4608u);
    for (std::size_t block = 0; block < 288; ++block)
        ASSERT_EQ(image.substr(16 * block, 16), expected.substr(16 * block, 16)) << "block " << block;
}

TEST_F(WriteMode, UnknownExtensionIsRefusedBeforeTheFirstRequest) {
    SimProcess sim({"--eeprom", eeprom});
    for (const char* name : {"image.bin", "image"}) {
        ProcessResult r = runSolwatch({"-s", sim.path(), "-w", dir.file(name), "-d"});
        EXPECT_EQ(r.exitCode, 255) << name;
        EXPECT_NE(r.err.find("unknown image file extension (use one of .s19, .mot, .hex, .a90, .eep, .csv)"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.out.find(kSetAddressRequest), std::string::npos) << name;
        EXPECT_FALSE(exists(dir.file(name)));
    }
}

// What the shell's ">" would refuse, refused before any EEPROM request with
// the system's reason.
TEST_F(WriteMode, TargetThatCannotBeWrittenIsRefusedBeforeTheFirstRequest) {
    ASSERT_EQ(::mkdir(dir.file("folder.hex").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("loop.hex", dir.file("loop.hex").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.file("null.hex").c_str()), 0);
    const struct {
        std::string name;
        std::string reason;
    } cases[] = {
        {"missing-dir/image.s19", "No such file or directory (folder " + dir.file("missing-dir") + ")"},
        {"folder.hex", "Is a directory"},
        {"loop.hex", "Too many levels of symbolic links"},
        {"null.hex", "not a regular file"},
    };
    SimProcess sim({"--eeprom", eeprom});
    for (const auto& c : cases) {
        ProcessResult r = runSolwatch({"-s", sim.path(), "-w", dir.file(c.name), "-d"});
        EXPECT_EQ(r.exitCode, 255) << c.name;
        EXPECT_NE(r.err.find("cannot save image " + dir.file(c.name) + ": " + c.reason + "====="), std::string::npos)
            << r.err;
        EXPECT_EQ(r.out.find(kSetAddressRequest), std::string::npos) << c.name;
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"eeprom.bin", "folder.hex", "loop.hex", "null.hex"}));
}

TEST_F(WriteMode, SymlinkIsWrittenThroughAndTheModeKept) {
    ASSERT_EQ(::mkdir(dir.file("images").c_str(), 0755), 0);
    writeFile(dir.file("images/charger.s19"), "earlier image\r\n");
    ASSERT_EQ(::chmod(dir.file("images/charger.s19").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("images/charger.s19", dir.file("latest.s19").c_str()), 0);
    SimProcess sim({"--eeprom", eeprom});
    ProcessResult r = runSolwatch({"-s", sim.path(), "-w", dir.file("latest.s19")}, 60s);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    struct stat link {}, target {};
    ASSERT_EQ(::lstat(dir.file("latest.s19").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    ASSERT_EQ(::stat(dir.file("images/charger.s19").c_str(), &target), 0);
    EXPECT_EQ(target.st_mode & 07777, 0640u);
    EXPECT_EQ(throughSrecCat(dir.file("images/charger.s19"), "-motorola"), expected);
}

// A read-only file is refused as for the shell's ">". Root may write it, so
// as root solwatch runs as an unprivileged user (setpriv), with the device
// and the folder opened up to it.
TEST_F(WriteMode, ReadOnlyFileIsRefusedForAUserWhoMayNotWriteIt) {
    const std::string target = dir.file("read-only.hex");
    writeFile(target, "earlier image\r\n");
    ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    SimProcess sim({"--eeprom", eeprom});
    std::vector<std::string> argv{SOLWATCH_BIN, "-s", sim.path(), "-w", target, "-d"};
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(sim.path().c_str(), 0666), 0);
        argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    ProcessResult r = runProcess(argv, 30s);
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_NE(r.err.find("cannot save image " + target + ": Permission denied====="), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(":451"), std::string::npos) << "the device was reached: " << r.err;
    EXPECT_EQ(r.out.find(kSetAddressRequest), std::string::npos);
    EXPECT_EQ(readFile(target), "earlier image\r\n");
}

// "solwatch -w x.hex | head -c5": the progress text meets a closed pipe,
// and the save goes on.
TEST_F(WriteMode, ClosedStandardOutputDoesNotStopTheSave) {
    SimProcess sim({"--eeprom", eeprom});
    const std::string target = dir.file("image.hex");
    ProcessResult r = runProcess({"/bin/bash", "-c", "\"$@\" | head -c5; exit ${PIPESTATUS[0]}", "bash",
                                  SOLWATCH_BIN, "-s", sim.path(), "-w", target},
                                 60s);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "\rread");
    EXPECT_EQ(throughSrecCat(target, "-intel"), expected);
}
