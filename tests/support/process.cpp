#include "tests/support/process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace testing_support {

Process::Process(const std::vector<std::string>& argv) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        int devnull = ::open("/dev/null", O_RDONLY);
        ::dup2(devnull, 0);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
}

Process::~Process() {
    if (!finished_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
}

void Process::signal(int sig) {
    if (!finished_) ::kill(pid_, sig);
}

namespace {

// The socket inodes listening on `port`, from the kernel's table of TCP
// sockets: "sl local_address rem_address st ... inode", the address as
// HEX:PORT and the state 0A for listening.
std::set<std::string> listeningInodes(int port) {
    std::set<std::string> inodes;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, skip, inode;
            fields >> slot >> local >> remote >> state;
            for (int i = 0; i < 5; ++i) fields >> skip;
            fields >> inode;
            const std::size_t colon = local.rfind(':');
            if (state == "0A" && colon != std::string::npos && std::stoi(local.substr(colon + 1), nullptr, 16) == port)
                inodes.insert(inode);
        }
    }
    return inodes;
}

}  // namespace

bool Process::listensOn(int port) const {
    const std::set<std::string> inodes = listeningInodes(port);
    if (finished_ || inodes.empty()) return false;
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", error)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
        if (target.rfind("socket:[", 0) == 0 && inodes.count(target.substr(8, target.size() - 9))) return true;
    }
    return false;
}

// Moves what the child wrote into the buffers; false once both pipes are closed.
bool Process::pump(std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    int open = (outFd_ >= 0) + (errFd_ >= 0);
    if (open == 0) return false;
    if (::poll(fds, 2, static_cast<int>(timeout.count())) <= 0) return true;
    int* fdRefs[2] = {&outFd_, &errFd_};
    std::string* targets[2] = {&out_, &err_};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[4096];
        ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            targets[i]->append(buffer, static_cast<std::size_t>(n));
        } else {
            ::close(*fdRefs[i]);
            *fdRefs[i] = -1;
        }
    }
    return true;
}

// Collects output until `done` holds or the time is up; false when it did
// not come to hold.
bool Process::pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !pump(left)) return false;
    }
    return true;
}

std::string Process::readLine(std::chrono::milliseconds timeout) {
    if (!pumpUntil([this] { return out_.find('\n', lineStart_) != std::string::npos; }, timeout))
        return std::string();
    std::size_t end = out_.find('\n', lineStart_);
    std::string line = out_.substr(lineStart_, end - lineStart_);
    lineStart_ = end + 1;
    return line;
}

bool Process::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    return pumpUntil([&] { return out_.find(text) != std::string::npos; }, timeout);
}

bool Process::waitForErr(const std::string& text, std::chrono::milliseconds timeout, std::size_t from) {
    return pumpUntil([&] { return err_.find(text, from) != std::string::npos; }, timeout);
}

ProcessResult Process::wait(std::chrono::milliseconds timeout) {
    if (finished_) return result_;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (true) {
        pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result_.timedOut = true;
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        if (!pump(std::min(left, std::chrono::milliseconds(50)))) ::usleep(10000);
    }
    while (pump(std::chrono::milliseconds(100))) {
    }
    finished_ = true;
    if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
    result_.out = out_;
    result_.err = err_;
    return result_;
}

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    Process process(argv);
    return process.wait(timeout);
}

}  // namespace testing_support
