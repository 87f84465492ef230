// Saving through links, keeping modes and owners, and the check of a target
// before anything is read for it.
#include "image/replacing_file.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "image/image_file.h"
#include "image_test_support.h"

namespace tessline {
namespace {

using image_test::patternBytes;
using image_test::readFile;
using image_test::ScratchDir;
using image_test::writeFile;

constexpr uid_t kNobody = 65534;

struct stat statOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

std::string savedText(const std::string& path) {
    const auto image = patternBytes(kEepromImageLength, 20);
    EXPECT_EQ(saveImage(image.data(), path), int(kEepromImageLength)) << std::strerror(errno);
    return readFile(path);
}

TEST(ImageSave, WritesThroughLinksToTheirTarget) {
    ScratchDir dir;
    ASSERT_EQ(::mkdir(dir.file("real").c_str(), 0755), 0);
    writeFile(dir.file("real/old.hex"), "earlier\r\n");
    // A chain: a relative link to a link in another folder, which names the file.
    ASSERT_EQ(::symlink("real/step.hex", dir.file("image.hex").c_str()), 0);
    ASSERT_EQ(::symlink("old.hex", dir.file("real/step.hex").c_str()), 0);
    ASSERT_EQ(::symlink("real/new.hex", dir.file("dangling.hex").c_str()), 0);

    const std::string text = savedText(dir.file("image.hex"));
    EXPECT_EQ(text.rfind(":020000040000FA\r\n", 0), 0u);
    EXPECT_EQ(readFile(dir.file("real/old.hex")), text);
    EXPECT_TRUE(S_ISLNK(statOf(dir.file("image.hex")).st_mode));
    EXPECT_TRUE(S_ISLNK(statOf(dir.file("real/step.hex")).st_mode));

    // A dangling link names the file to create.
    EXPECT_EQ(savedText(dir.file("dangling.hex")), text);
    EXPECT_TRUE(S_ISREG(statOf(dir.file("real/new.hex")).st_mode));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"dangling.hex", "image.hex", "real"}));
}

TEST(ImageSave, KeepsTheModeAndOwnerOfTheFileItReplaces) {
    ScratchDir dir;
    const std::string path = dir.file("image.s19");
    writeFile(path, "earlier\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    }
    savedText(path);
    const struct stat info = statOf(path);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(info.st_uid, root ? kNobody : ::geteuid());
}

TEST(ImageSave, RefusesTargetsThatAreNoRegularFiles) {
    ScratchDir dir;
    ASSERT_EQ(::symlink("/dev/null", dir.file("null.hex").c_str()), 0);
    ASSERT_EQ(::symlink("loop.hex", dir.file("loop.hex").c_str()), 0);
    const auto image = patternBytes(kEepromImageLength, 21);
    errno = 0;
    EXPECT_EQ(saveImage(image.data(), dir.file("null.hex")), 0);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(saveImage(image.data(), dir.file("loop.hex")), 0);
    EXPECT_EQ(errno, ELOOP);
    struct stat info {};
    ASSERT_EQ(::stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"loop.hex", "null.hex"}));
}

TEST(SaveTarget, ProblemsFoundBeforeWriting) {
    ScratchDir dir;
    ASSERT_EQ(::mkdir(dir.file("folder.hex").c_str(), 0755), 0);
    writeFile(dir.file("old.hex"), "x");
    ASSERT_EQ(::symlink("loop.hex", dir.file("loop.hex").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.file("null.hex").c_str()), 0);
    ASSERT_EQ(::symlink("missing/x.hex", dir.file("link.hex").c_str()), 0);
    const struct {
        std::string name;
        std::string problem;
    } cases[] = {
        {dir.file("old.hex"), ""},
        {dir.file("new.hex"), ""},
        {dir.file("folder.hex"), "Is a directory"},
        {dir.file("loop.hex"), "Too many levels of symbolic links"},
        {dir.file("null.hex"), "not a regular file"},
        {dir.file("missing/x.hex"),
         "No such file or directory (folder " + dir.file("missing") + ")"},
        {dir.file("link.hex"), "No such file or directory (folder " + dir.file("missing") + ")"},
        {dir.file("old.hex/x.hex"), "Not a directory"},
    };
    for (const auto& c : cases) EXPECT_EQ(saveTargetProblem(c.name), c.problem) << c.name;
}

// Runs saveTargetProblem as a user without rights to the scratch files: in a
// child that drops to an unprivileged user first when the tests run as root.
std::string problemForUnprivileged(const std::string& name) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 ||
                                 ::setuid(kNobody) != 0))
            ::_exit(2);
        const std::string problem = saveTargetProblem(name);
        const bool sent = ::write(fds[1], problem.data(), problem.size()) ==
                          static_cast<ssize_t>(problem.size());
        ::_exit(sent ? 0 : 3);
    }
    ::close(fds[1]);
    std::string problem;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) problem.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return problem;
}

TEST(SaveTarget, ReadOnlyFileAndFolderAreRefusedWithTheReason) {
    ScratchDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);  // the child must reach the files
    writeFile(dir.file("read-only.hex"), "x");
    ASSERT_EQ(::chmod(dir.file("read-only.hex").c_str(), 0444), 0);
    ASSERT_EQ(::mkdir(dir.file("closed").c_str(), 0555), 0);
    writeFile(dir.file("closed/open.hex"), "x");
    ASSERT_EQ(::chmod(dir.file("closed/open.hex").c_str(), 0666), 0);

    EXPECT_EQ(problemForUnprivileged(dir.file("read-only.hex")), "Permission denied");
    EXPECT_EQ(problemForUnprivileged(dir.file("closed/new.hex")),
              "Permission denied (folder " + dir.file("closed") + ")");
    // Writable itself, but the new file cannot be made beside it.
    EXPECT_EQ(problemForUnprivileged(dir.file("closed/open.hex")),
              "Permission denied (folder " + dir.file("closed") + ")");
}

TEST(PartialImage, NameBesideTheTarget) {
    const struct {
        const char* name;
        const char* partial;
    } cases[] = {
        {"eeprom.hex", "eeprom.partial.hex"},
        {"dir.v2/EEPROM.S19", "dir.v2/EEPROM.partial.S19"},
        {"a.b.csv", "a.b.partial.csv"},
        {"/abs/x.eep", "/abs/x.partial.eep"},
    };
    for (const auto& c : cases) EXPECT_EQ(partialImageName(c.name), c.partial) << c.name;
}

}  // namespace
}  // namespace tessline
