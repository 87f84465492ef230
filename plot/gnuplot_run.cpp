#include "plot/gnuplot_run.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace tessline {

volatile std::sig_atomic_t stopSignal = 0;

namespace {

constexpr auto kLongestDrawing = std::chrono::seconds(120);
constexpr int kPollMillis = 200;
constexpr const char* kScriptName = "plot.gp";
constexpr const char* kErrorsName = "gnuplot.err";

std::string systemError(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// A private folder for the script and the data, removed with its content.
class WorkFolder {
public:
    WorkFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/solwatch-plot-XXXXXX";
        if (!::mkdtemp(pattern.data())) throw draw_error(systemError("cannot make a temporary folder", errno));
        path_ = pattern;
    }
    ~WorkFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::string& path() const { return path_; }
    void write(const std::string& name, const std::string& content) const {
        std::ofstream out(path_ + "/" + name, std::ios::binary);
        if (!(out << content) || !out.flush())
            throw draw_error("cannot write the plot data into " + path_ + " (disk full?)");
    }
    // The first line of gnuplot's complaints that says what went wrong.
    std::string firstError() const {
        std::ifstream in(path_ + "/" + kErrorsName);
        std::string line, first;
        while (std::getline(in, line)) {
            if (line.find_first_not_of(" \t^") == std::string::npos) continue;
            if (first.empty()) first = line;
            if (line.find("rror") != std::string::npos) return line;
        }
        return first.empty() ? "no message" : first;
    }

private:
    std::string path_;
};

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC) != 0) throw draw_error(systemError("cannot make a pipe for gnuplot", errno));
    }
    ~Pipe() {
        closeWrite();
        if (fds_[0] >= 0) ::close(fds_[0]);
    }
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void closeWrite() {
        if (fds_[1] >= 0) ::close(fds_[1]);
        fds_[1] = -1;
    }

private:
    int fds_[2] = {-1, -1};
};

// gnuplot runs in the work folder, reads the script file, and prints the
// picture on the pipe; its complaints go to a file there.
pid_t startGnuplot(const WorkFolder& folder, Pipe& out) {
    SpawnActions actions;
    posix_spawn_file_actions_addchdir_np(actions.get(), folder.path().c_str());
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), out.writeEnd(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, kErrorsName, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string program = "gnuplot", script = kScriptName;
    char* argv[] = {program.data(), script.data(), nullptr};
    pid_t pid = -1;
    int error = posix_spawnp(&pid, program.c_str(), actions.get(), nullptr, argv, environ);
    if (error == ENOENT)
        throw draw_error("gnuplot is not installed (no gnuplot on PATH); on Debian: apt-get install gnuplot-nox");
    if (error != 0) throw draw_error(systemError("cannot start gnuplot", error));
    out.closeWrite();
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

void stopGnuplot(pid_t pid) {
    ::kill(pid, SIGKILL);
    waitFor(pid);
}

// Copies the picture until gnuplot closes its output; returns its size.
std::size_t copyPicture(pid_t pid, int from, PictureFile& picture) {
    auto deadline = std::chrono::steady_clock::now() + kLongestDrawing;
    char buffer[65536];
    std::size_t size = 0;
    for (;;) {
        if (stopSignal) {
            stopGnuplot(pid);
            throw draw_error("stopped by signal " + std::to_string(stopSignal));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            stopGnuplot(pid);
            throw draw_error("gnuplot took longer than " + std::to_string(kLongestDrawing.count()) + " s");
        }
        pollfd ready{from, POLLIN, 0};
        if (::poll(&ready, 1, kPollMillis) <= 0) continue;
        ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return size;
        picture.write(std::string_view(buffer, static_cast<std::size_t>(got)));
        size += static_cast<std::size_t>(got);
    }
}

}  // namespace

void drawPicture(const PlotJob& job, PictureFile& picture) {
    if (stopSignal) throw draw_error("stopped by signal " + std::to_string(stopSignal));
    WorkFolder folder;
    folder.write(kScriptName, job.script);
    for (const auto& file : job.files) folder.write(file.first, file.second);
    Pipe out;
    pid_t pid = startGnuplot(folder, out);
    std::size_t size = copyPicture(pid, out.readEnd(), picture);
    int status = waitFor(pid);
    if (WIFSIGNALED(status)) throw draw_error("gnuplot ended by signal " + std::to_string(WTERMSIG(status)));
    if (WEXITSTATUS(status) != 0) throw draw_error("gnuplot failed: " + folder.firstError());
    if (size == 0) throw draw_error("gnuplot drew nothing: " + folder.firstError());
}

}  // namespace tessline
