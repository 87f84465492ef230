#include "image/image_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "image_test_support.h"

namespace tessline {
namespace {

using image_test::patternBytes;
using image_test::readFile;
using image_test::ScratchDir;
using image_test::writeFile;

TEST(ImageRegistry, PicksFormatByExtension) {
    struct Case {
        const char* legend;
        std::string fileName;
        const char* extension;  // of the chosen row; null: none
    } cases[] = {
        {"upper case", "EEPROM.S19", ".s19"},
        {"mixed case", "dump.Mot", ".mot"},
        {"Intel HEX", "x.eep", ".eep"},
        {"last dot counts", "a.b.hex", ".hex"},
        {"a90", "dir/image.A90", ".a90"},
        {"csv", "out.csv", ".csv"},
        {"unknown extension", "image.bin", nullptr},
        {"no extension", "image", nullptr},
        {"dot in the folder only", "dir.old/image", nullptr},
        {"backslash is no separator: .old\\image", "dir.old\\image", nullptr},
        {"trailing dot", "image.", nullptr},
        {"extension longer than a row's", "image.hexx", nullptr},
        {"no name", "", nullptr},
    };
    for (const auto& c : cases) {
        const ImageFormat* format = findImageFormat(c.fileName);
        if (!c.extension) {
            EXPECT_EQ(format, nullptr) << c.legend;
            continue;
        }
        ASSERT_NE(format, nullptr) << c.legend;
        EXPECT_STREQ(format->extension, c.extension) << c.legend;
    }
}

TEST(ImageRegistry, ListsExtensionsInSearchOrder) {
    EXPECT_EQ(knownImageExtensions(), ".s19, .mot, .hex, .a90, .eep, .csv");
}

TEST(ImageRegistry, SavesNothingWithoutAKnownExtension) {
    ScratchDir dir;
    const auto image = patternBytes(kEepromImageLength, 6);
    for (const char* name : {"image.bin", "image", "dir.old/image", ""}) {
        EXPECT_EQ(saveImage(image.data(), name[0] ? dir.file(name) : ""), 0) << name;
    }
    EXPECT_TRUE(dir.entries().empty());
}

TEST(ImageRegistry, SavedWindowLoadsBackInEveryFormat) {
    ScratchDir dir;
    const auto image = patternBytes(kEepromImageLength, 7);
    for (const char* name : {"EEPROM.S19", "dump.Mot", "a.b.hex", "x.A90", "x.eep", "x.csv"}) {
        const std::string path = dir.file(name);
        EXPECT_EQ(saveImage(image.data(), path), int(kEepromImageLength)) << name;
        std::vector<std::uint8_t> copy(kEepromImageLength, 0);
        EXPECT_EQ(loadImage(copy.data(), kEepromImageBase, kEepromImageLength, path),
                  int(kEepromImageLength))
            << name;
        EXPECT_EQ(copy, image) << name;
    }
    EXPECT_EQ(dir.entries().size(), 6u) << "no temporary file left behind";
}

TEST(ImageRegistry, LoadOfAMissingFileStoresNothing) {
    ScratchDir dir;
    std::vector<std::uint8_t> window(16, 0xEE);
    EXPECT_EQ(loadImage(window.data(), 0, 16, dir.file("absent.s19")), 0);
    EXPECT_EQ(loadImage(window.data(), 0, 16, dir.file("absent.csv")), 0);
    EXPECT_EQ(window, std::vector<std::uint8_t>(16, 0xEE));
}

TEST(ImageSave, ReplacesAnExistingFileWhole) {
    ScratchDir dir;
    const std::string path = dir.file("image.csv");
    writeFile(path, std::string(100000, 'x'));
    const auto image = patternBytes(kEepromImageLength, 8);
    ASSERT_EQ(saveImage(image.data(), path), int(kEepromImageLength));
    const std::string text = readFile(path);
    EXPECT_EQ(text.find('x'), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(ImageSave, FolderMissingGivesZeroWithErrno) {
    ScratchDir dir;
    const auto image = patternBytes(kEepromImageLength, 9);
    errno = 0;
    EXPECT_EQ(saveImage(image.data(), dir.file("no-such-folder/image.hex")), 0);
    EXPECT_EQ(errno, ENOENT);
}

TEST(ImageSave, TargetThatIsAFolderIsLeftAlone) {
    ScratchDir dir;
    ASSERT_EQ(::mkdir(dir.file("image.s19").c_str(), 0755), 0);
    const auto image = patternBytes(kEepromImageLength, 10);
    errno = 0;
    EXPECT_EQ(saveImage(image.data(), dir.file("image.s19")), 0);
    EXPECT_NE(errno, 0);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"image.s19"});
}

// A save that cannot be completed (here: the file size limit stops it part
// way) keeps the earlier file as it was and leaves nothing else behind.
TEST(ImageSave, FailedWriteKeepsTheEarlierFile) {
    ScratchDir dir;
    const std::string path = dir.file("image.hex");
    writeFile(path, "earlier image\r\n");
    const auto image = patternBytes(kEepromImageLength, 11);

    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    errno = 0;
    const int written = saveImage(image.data(), path);
    const int reason = errno;
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(written, 0);
    EXPECT_EQ(reason, EFBIG) << std::strerror(reason);
    EXPECT_EQ(readFile(path), "earlier image\r\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"image.hex"});
}

}  // namespace
}  // namespace tessline
