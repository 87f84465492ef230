#include "tests/publish/mosquitto_broker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace publish_test {

using namespace std::chrono_literals;
using testing_support::freePort;
using testing_support::Process;
using testing_support::runProcess;
using testing_support::writeFile;

namespace {

bool accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

void run(const std::vector<std::string>& argv) {
    testing_support::ProcessResult result = runProcess(argv, 20s);
    if (result.exitCode != 0) throw std::runtime_error(argv[0] + " failed: " + result.err);
}

}  // namespace

std::string toolPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = std::string(path ? path : "/usr/bin:/bin") + ":/usr/sbin:/sbin";
    std::istringstream list(dirs);
    for (std::string dir; std::getline(list, dir, ':');) {
        std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    throw std::runtime_error(name + " not found (scripts/install-deps.sh installs it)");
}

MosquittoBroker::MosquittoBroker(const std::string& dir, BrokerConfig config, const std::string& extraConfig)
    : dir_(dir), config_(std::move(config)), port_(freePort()) {
    // Stays root when started as root, so that it reads the test's files.
    std::string conf = "user root\nlog_dest file " + dir_ + "/mosquitto.log\nlistener " + std::to_string(port_) +
                       (config_.tls ? " localhost\n" : " 127.0.0.1\n");
    if (config_.tls) {
        makeCertificates();
        conf += "certfile " + dir_ + "/server.crt\nkeyfile " + dir_ + "/server.key\n";
    }
    if (config_.user.empty()) {
        conf += "allow_anonymous true\n";
    } else {
        writeFile(dir_ + "/passwords", "");
        run({toolPath("mosquitto_passwd"), "-b", dir_ + "/passwords", config_.user, config_.password});
        conf += "allow_anonymous false\npassword_file " + dir_ + "/passwords\n";
    }
    if (config_.persistence) conf += "persistence true\npersistence_location " + dir_ + "/\n";
    conf += extraConfig;
    writeFile(dir_ + "/mosquitto.conf", conf);
    start();
}

MosquittoBroker::~MosquittoBroker() { stop(); }

void MosquittoBroker::makeCertificates() {
    std::string openssl = toolPath("openssl");
    std::vector<std::string> ecKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    run(with(with({openssl, "req", "-x509"}, ecKey),
             {"-keyout", dir_ + "/ca.key", "-out", caFile(), "-days", "2", "-subj", "/CN=solwatch test CA"}));
    run(with(with({openssl, "req"}, ecKey),
             {"-keyout", dir_ + "/server.key", "-out", dir_ + "/server.csr", "-subj", "/CN=" + config_.certificateHost}));
    std::string names = "DNS:" + config_.certificateHost;
    if (config_.certificateHost == "localhost") names += ",IP:127.0.0.1";
    writeFile(dir_ + "/server.ext", "subjectAltName=" + names + "\n");
    run({openssl, "x509", "-req", "-in", dir_ + "/server.csr", "-CA", caFile(), "-CAkey", dir_ + "/ca.key",
         "-CAcreateserial", "-out", dir_ + "/server.crt", "-days", std::to_string(config_.certificateDays), "-extfile",
         dir_ + "/server.ext"});
}

void MosquittoBroker::start() {
    process_ = std::make_unique<Process>(std::vector<std::string>{toolPath("mosquitto"), "-c", dir_ + "/mosquitto.conf"});
    if (testing_support::waitUntil([&] { return process_->listensOn(port_) && accepts(port_); })) return;
    throw std::runtime_error("mosquitto does not listen: " + process_->wait(1s).err);
}

void MosquittoBroker::pause() { process_->signal(SIGSTOP); }

void MosquittoBroker::resume() { process_->signal(SIGCONT); }

void MosquittoBroker::stop() {
    if (!process_) return;
    process_->signal(SIGTERM);
    process_->wait(10s);
    process_.reset();
}

std::string MosquittoBroker::url(const std::string& user) const {
    return std::string(config_.tls ? "mqtts://" : "mqtt://") + (user.empty() ? "" : user + "@") +
           (config_.tls ? "localhost:" : "127.0.0.1:") + std::to_string(port_);
}

std::vector<std::string> MosquittoBroker::clientArgs() const {
    std::vector<std::string> args = {"-h", config_.tls ? "localhost" : "127.0.0.1", "-p", std::to_string(port_)};
    if (config_.tls) args.insert(args.end(), {"--cafile", caFile()});
    if (!config_.user.empty()) args.insert(args.end(), {"-u", config_.user, "-P", config_.password});
    return args;
}

namespace {

// mosquitto_sub on `filter`, started; returns once the broker acknowledged
// the subscription.
std::unique_ptr<Process> subscribe(const MosquittoBroker& broker, const std::string& filter,
                                   const std::vector<std::string>& extra) {
    // Line-buffered, so that the "received SUBACK" note of -d comes out at once.
    std::vector<std::string> argv = {toolPath("stdbuf"), "-oL", toolPath("mosquitto_sub"), "-d", "-q", "1",
                                     "-t", filter, "-F", "%r %t %p"};
    std::vector<std::string> client = broker.clientArgs();
    argv.insert(argv.end(), client.begin(), client.end());
    argv.insert(argv.end(), extra.begin(), extra.end());
    auto process = std::make_unique<Process>(argv);
    if (!process->waitForOutput("received SUBACK", 10s))
        throw std::runtime_error("mosquitto_sub did not subscribe: " + process->errSoFar());
    return process;
}

// A "%r %t %p" line of mosquitto_sub as a message; -d mixes its protocol
// notes ("Client ... received PUBLISH") into the output.
std::optional<Message> messageOf(const std::string& line) {
    const std::size_t space = line.find(' ', 2);
    if (line.size() < 2 || (line[0] != '0' && line[0] != '1') || line[1] != ' ' || space == std::string::npos)
        return std::nullopt;
    return Message{line[0] == '1', line.substr(2, space - 2), line.substr(space + 1)};
}

}  // namespace

Subscriber::Subscriber(const MosquittoBroker& broker, const std::string& filter, std::vector<std::string> extra)
    : process_(subscribe(broker, filter, extra)) {}

const std::vector<Message>& Subscriber::waitFor(std::size_t count, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (messages_.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (std::optional<Message> message = messageOf(process_->readLine(left))) messages_.push_back(*message);
    }
    return messages_;
}

std::vector<Message> retainedMessages(const MosquittoBroker& broker, const std::string& filter) {
    // The broker sends what it retains as it takes the subscription. A
    // message of ours after that, not retained, marks the end, where
    // --retained-only stops: no fixed wait for messages that do not come.
    const std::string end = "solwatch-test/end-of-retained";
    std::unique_ptr<Process> subscriber = subscribe(broker, filter, {"-t", end, "--retained-only", "-W", "10"});
    std::vector<std::string> argv = {toolPath("mosquitto_pub"), "-t", end, "-m", "end"};
    std::vector<std::string> client = broker.clientArgs();
    argv.insert(argv.end(), client.begin(), client.end());
    runProcess(argv, 10s);
    std::vector<Message> messages;
    std::istringstream lines(subscriber->wait(10s).out);
    for (std::string line; std::getline(lines, line);)
        if (std::optional<Message> message = messageOf(line); message && message->retained) messages.push_back(*message);
    return messages;
}

}  // namespace publish_test
