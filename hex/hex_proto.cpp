#include "hex/hex_proto.h"

#include <cstdio>
#include <memory>

#include <boost/signals2/connection.hpp>
#include <boost/throw_exception.hpp>

#include "hex/concurrent_queue.h"
#include "hex/hex_frame.h"
#include "log/log.h"

namespace tessline {

namespace {

constexpr std::uint8_t kCodePing = 0x01;
constexpr std::uint8_t kCodeDeviceId = 0x04;
constexpr std::uint8_t kCodeGetRegister = 0x07;
constexpr std::uint8_t kCodeSetRegister = 0x08;

constexpr std::uint32_t kAnswerDeviceId = 0x1;
constexpr std::uint32_t kAnswerFailed = 0x3;
constexpr std::uint32_t kAnswerPing = 0x5;
constexpr std::uint32_t kAnswerGetRegister = 0x7;
constexpr std::uint32_t kAnswerSetRegister = 0x8;

constexpr std::uint8_t kReceptionError = 0x2;
constexpr std::uint8_t kReceptionErrorAlt = 0x4;
constexpr std::uint16_t kResendWord = 0xAAAA;

const HexProto::Timeout kOneSecond = boost::chrono::seconds(1);
// Late answers are waited out until the line has been this quiet, for at
// most the limit.
const HexProto::Timeout kQuietBeforeRequest = boost::chrono::milliseconds(300);
const HexProto::Timeout kLateAnswersLimit = boost::chrono::seconds(2);
const HexProto::Timeout kFiveSeconds = boost::chrono::seconds(5);
// The link's reader hands an answer over a little after it is due, as late
// as a timer on a busy machine fires.
const HexProto::Timeout kHandOverLag = boost::chrono::milliseconds(2);

HexMsg request(std::uint8_t code) {
    HexMsg msg;
    msg.appendByte(code);
    return msg;
}

bool isReceptionError(std::uint8_t code) { return code == kReceptionError || code == kReceptionErrorAlt; }

// Drops the answers still due to earlier sends, or what arrives until the
// line is quiet, so that a late answer is never taken for the answer to the
// next request (an EEPROM block would get the data of the block before it).
void dropLateAnswers(concurrent_queue<HexMsg>& queue, int due) {
    const auto limit = boost::chrono::steady_clock::now() + kLateAnswersLimit;
    HexMsg late;
    while (due > 0 &&
           queue.timedPop(late, std::min(limit, boost::chrono::steady_clock::now() + kQuietBeforeRequest))) {
        if (late.size() > 0 && isReceptionError(late.bytes()[0])) continue;
        logInfo("hex_proto", "hex: late answer dropped");
        --due;
    }
}

bool contains(std::initializer_list<std::uint32_t> codes, std::uint32_t code) {
    for (auto c : codes)
        if (c == code) return true;
    return false;
}

}  // namespace

int HexProto::exchange(const HexMsg& request, std::initializer_list<std::uint32_t> accepted, int attempts,
                       Timeout timeout, HexMsg& answer) {
    Deadline answerAt;
    int result = sendAndAwait(request, accepted, attempts, timeout, answer, answerAt);
    // The pause runs from the answer, or from the end of a request without one.
    const Deadline pauseEnd = (result == kHexOk ? answerAt : boost::chrono::steady_clock::now()) + pauseAfterAnswer_;
    sleepUntil(pauseEnd);
    return result;
}

int HexProto::sendAndAwait(const HexMsg& request, std::initializer_list<std::uint32_t> accepted, int attempts,
                           Timeout timeout, HexMsg& answer, Deadline& answerAt) {
    boost::lock_guard<boost::recursive_mutex> lock(link_->linkMutex);
    auto queue = std::make_shared<concurrent_queue<HexMsg>>();
    // Every frame received from now on is queued, whatever its code; the
    // scoped connection is removed on every way out.
    boost::signals2::scoped_connection connection =
        link_->rxHexMsg.connect([queue](const HexMsg& frame) { queue->push(frame); });

    if (unansweredSends_ > 0) dropLateAnswers(*queue, unansweredSends_);
    unansweredSends_ = 0;

    const auto dueAfter = boost::chrono::microseconds(answerDueAfter(request).count());
    int result = kHexNoAnswerAfterResend;
    while (attempts-- > 0) {
        const int attemptsLeft = attempts;
        Deadline deadline = boost::chrono::steady_clock::now() + timeout;
        int written = link_->write(request);
        if (written != 0) return written;
        ++unansweredSends_;
        result = kHexNoAnswerAfterResend;
        // With a pause, the first look at the queue is when the pause after
        // the answer's hand-over ends: the answer is there by then.
        Deadline earliest;
        if (pauseAfterAnswer_ > Timeout::zero())
            earliest = boost::chrono::steady_clock::now() + dueAfter + kHandOverLag + pauseAfterAnswer_;
        bool resend = false;
        while (!resend) {
            if (!queue->timedPop(answer, deadline, earliest, &answerAt)) {
                result = kHexRequestFailed;
                break;
            }
            answer.clearState();
            answer.rewind();
            std::uint8_t code = answer.readU8();
            if (answer.failed()) continue;
            if (isReceptionError(code)) {
                std::fprintf(stderr, "Reception error received! attempts left: %u\n", attemptsLeft);
                std::fflush(stderr);
                std::uint16_t word = answer.readU16();
                resend = !answer.failed() && word == kResendWord;
                continue;
            }
            if (contains(accepted, code)) {
                answer.rewind();
                --unansweredSends_;
                return kHexOk;
            }
        }
    }
    return result;
}

bool HexProto::ping(Timeout timeout, std::uint16_t& word) {
    logInfo("hex_proto", "hex: ping");
    boost::lock_guard<boost::recursive_mutex> lock(link_->linkMutex);
    HexMsg answer;
    if (exchange(request(kCodePing), {kAnswerPing}, 10, timeout, answer) != kHexOk)
        BOOST_THROW_EXCEPTION(no_response() << tag_what("no response"));
    answer.readU8();
    std::uint16_t value = answer.readU16();
    if (answer.failed()) return false;
    word = value;
    return true;
}

bool HexProto::getDeviceId(std::uint16_t& id) {
    logInfo("hex_proto", "hex: get device id");
    boost::lock_guard<boost::recursive_mutex> lock(link_->linkMutex);
    HexMsg answer;
    if (exchange(request(kCodeDeviceId), {kAnswerDeviceId}, 3, kOneSecond, answer) != kHexOk)
        BOOST_THROW_EXCEPTION(no_response());
    std::uint8_t code = answer.readU8();
    std::uint16_t value = answer.readU16();
    if (answer.failed()) return false;
    id = value;
    return code == kAnswerDeviceId;
}

int HexProto::getRegister(std::uint16_t id, HexMsg& answer) {
    logInfo("hex_proto", "hex: get register (0x%04X)", id);
    boost::lock_guard<boost::recursive_mutex> lock(link_->linkMutex);
    HexMsg msg = request(kCodeGetRegister);
    msg.appendWord(id);
    answer.clearState();
    int result = exchange(msg, {kAnswerGetRegister, kAnswerFailed}, 3, kOneSecond, answer);
    if (result != kHexOk) return result;
    std::uint8_t code = answer.readU8();
    std::uint16_t echoed = answer.readU16();
    std::uint8_t flags = answer.readU8();
    if (answer.failed() || code != kAnswerGetRegister || echoed != id || flags != 0) return kHexRequestFailed;
    return kHexOk;
}

bool HexProto::setRegister(std::uint16_t value) {
    logInfo("hex_proto", "hex: set register (0x%04X=0x%04X)", kEepromAddressRegister, value);
    boost::lock_guard<boost::recursive_mutex> lock(link_->linkMutex);
    HexMsg msg = request(kCodeSetRegister);
    msg.appendWord(kEepromAddressRegister);
    msg.appendByte(0x00);
    msg.appendWord(value);
    HexMsg answer;
    if (exchange(msg, {kAnswerSetRegister, kAnswerFailed}, 10, kFiveSeconds, answer) != kHexOk)
        BOOST_THROW_EXCEPTION(no_response());
    std::uint8_t code = answer.readU8();
    answer.readU16();
    std::uint8_t flags = answer.readU8();
    return !answer.failed() && code == kAnswerSetRegister && flags == 0;
}

}  // namespace tessline
