// A device in the test's own process, for the code that talks to one through
// a HexLink and a TextFieldSource: fixed registers, and a link that answers
// each request at once, on the requesting thread, before write() returns.
// Header-only: the suites that use it link the HEX library.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <boost/system/system_error.hpp>

#include "hex/hex_frame.h"
#include "hex/hex_link.h"
#include "hex/hex_msg.h"
#include "hex/hex_proto.h"
#include "hex/text_field_source.h"
#include "tests/support/device_frames.h"

namespace testing_support {

// A received get-register answer (checksum included) with its read position
// on the first value byte, as a successful request leaves it.
inline tessline::HexMsg registerAnswer(std::uint16_t id, const Bytes& value) {
    tessline::HexMsg answer = hexMsgOf(withHexChecksum(registerAnswerBytes(id, value)));
    answer.readU32();  // code, id, flags
    return answer;
}

// Value bytes by register id. As a RegisterReader, a register not listed
// fails with -3; as a device, it answers such a register with the final
// "no success" code.
struct FakeRegisters {
    std::map<std::uint16_t, Bytes> values;
    // Every register asked for, in order.
    std::vector<std::uint16_t> asked;

    void set(std::uint16_t id, std::uint32_t number, unsigned width) { values[id] = littleEndian(number, width); }

    tessline::RegisterReader reader() {
        return [this](std::uint16_t id, tessline::HexMsg& answer) {
            asked.push_back(id);
            auto found = values.find(id);
            if (found == values.end()) return tessline::kHexRequestFailed;
            answer = registerAnswer(id, found->second);
            return tessline::kHexOk;
        };
    }

    // The answer frame (without checksum) to a get-register request.
    Bytes answerTo(const tessline::HexMsg& request) {
        tessline::HexMsg copy(request);
        copy.readU8();
        const std::uint16_t id = copy.readU16();
        asked.push_back(id);
        auto found = values.find(id);
        if (found != values.end()) return registerAnswerBytes(id, found->second);
        Bytes refused = codeAndWord(0x03, id);
        refused.push_back(0x00);
        return refused;
    }
};

class FakeLink : public tessline::HexLink, public tessline::TextFieldSource {
public:
    // Gets each request and its number (0 for the first); returns the frames
    // to send back (without checksum), possibly none. It may throw, as a
    // port does.
    using Device = std::function<std::vector<Bytes>(const tessline::HexMsg& request, int index)>;

    explicit FakeLink(Device device = {}) : device_(std::move(device)) {}

    int write(const tessline::HexMsg& msg) override {
        std::string frame = tessline::encodeHexFrame(msg);
        frame.pop_back();  // the line feed
        int index;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            index = static_cast<int>(sent_.size());
            sent_.push_back(frame);
        }
        if (device_)
            for (const Bytes& answer : device_(msg, index)) rxHexMsg(hexMsgOf(withHexChecksum(answer)));
        return tessline::kHexOk;
    }

    // The request frames written so far, without line feed; any thread may ask.
    std::vector<std::string> sent() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return sent_;
    }

    // The fields of a valid TEXT block, as the link hands them on: the
    // checksum field (its byte as the value) last.
    void sendText(const TextFields& fields) {
        const std::string block = textBlock(fields);
        for (const auto& field : fields) rxTextField(field.first, field.second);
        rxTextField("Checksum", block.substr(block.size() - 1));
    }

private:
    Device device_;
    mutable std::mutex mutex_;  // guards sent_
    std::vector<std::string> sent_;
};

// A device behind a port that fails (a pulled cable, a closed port): every
// write throws system_error "write", as the serial link's does.
inline FakeLink::Device brokenPort() {
    return [](const tessline::HexMsg&, int) -> std::vector<Bytes> {
        throw boost::system::system_error(boost::system::errc::make_error_code(boost::system::errc::io_error),
                                          "write");
    };
}

}  // namespace testing_support
