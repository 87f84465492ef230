#include "app/identification.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "app/link_session.h"
#include "app/stop_signals.h"
#include "hex/hex_proto.h"
#include "identity/product_table.h"
#include "identity/register_text.h"
#include "log/log.h"
#include "reader/tam_get_parser.h"
#include "reader/tam_reader.h"
#include "reader/tam_value.h"

namespace tessline {

namespace {

constexpr std::uint16_t kSerialNumberRegister = 0x010A;
constexpr std::uint16_t kModelNameRegister = 0x010B;
constexpr std::uint16_t kUnknownProduct = 0xFFFF;
// Identification starts once the device has announced this many wanted
// fields, or once this many TEXT blocks have ended since the first one: a
// device that never names a field has shown all it sends by then.
constexpr std::size_t kIdentityEntries = 3;
constexpr std::size_t kIdentityBlocks = 2;
// A port where nothing at all arrives for this long gets one hint, and one
// where bytes arrive but no TEXT block is valid gets another; the wait then
// looks again this often.
constexpr auto kLineHintAfter = std::chrono::seconds(5);
// The second hint is repeated while it holds, at most this often, however
// often a reconnecting run opens the port again.
constexpr auto kNoValidBlockHintEvery = std::chrono::minutes(5);

// The trimmed text of a register, or false when it cannot be read.
bool readRegisterText(HexProto& hex, std::uint16_t id, std::string& text) {
    HexMsg answer;
    if (hex.getRegister(id, answer) != kHexOk) return false;
    text = trimRegisterText(registerText(answer));
    return true;
}

std::string modelForProduct(HexProto& hex, std::uint16_t productId) {
    if (const char* name = lookupProductName(productId)) return name;
    std::string text;
    return readRegisterText(hex, kModelNameRegister, text) ? text : "unknown";
}

// Says why the identity does not come: nothing arrives (once until a device
// answers), or bytes arrive that make no valid TEXT block (a wrong port or
// line speed).
class LineHints {
public:
    // Said once until a device answers, however often a reconnecting run
    // opens a dead port again. Only the main thread identifies: no lock.
    static inline bool noDataSaid = false;

    explicit LineHints(LinkSession& session) : session_(session) {}

    void sayWhatIsWrong() {
        const TamSerial& link = session_.link();
        const unsigned long long bytes = link.bytesReceived();
        if (bytes == 0) {
            if (!noDataSaid)
                logError("solwatch", "no data from %s yet (check power / correct serial port)",
                         session_.portName().c_str());
            noDataSaid = true;
        } else if (link.validTextBlocks() == 0 && noValidBlockHintDue()) {
            logError("solwatch",
                     "bytes arrive on %s, but no TEXT block has passed its checksum (%llu bytes so far): "
                     "the wrong port or line speed?",
                     session_.portName().c_str(), bytes);
        }
    }

private:
    static bool noValidBlockHintDue() {
        // Only the main thread identifies, so this needs no lock.
        static std::optional<std::chrono::steady_clock::time_point> lastSaid;
        const auto now = std::chrono::steady_clock::now();
        if (lastSaid && now - *lastSaid < kNoValidBlockHintEvery) return false;
        lastSaid = now;
        return true;
    }

    LinkSession& session_;
};

// Waits for the identity fields; the only signs of life on a dead or
// garbled port are the hints after a few seconds. False when the wait was
// interrupted.
bool waitForIdentityFields(ValueDictionary& values, LinkSession& session) {
    LineHints hints(session);
    for (;;) {
        const auto deadline = std::chrono::steady_clock::now() + kLineHintAfter;
        switch (values.waitForIdentity(kIdentityEntries, kIdentityBlocks, deadline)) {
            case ValueDictionary::WaitEnd::complete: LineHints::noDataSaid = false; return true;
            case ValueDictionary::WaitEnd::interrupted: return false;
            case ValueDictionary::WaitEnd::timedOut: break;
        }
        hints.sayWhatIsWrong();
    }
}

}  // namespace

bool identifyDevice(LinkSession& session, StopRequest& stop, Identity& identity) {
    TamSerial& link = session.link();
    // Made before the lock, so that on every way out the lock goes first and
    // the reader is stopped without it, as stop() requires.
    TamReader reader(&link);
    std::unique_lock<std::recursive_mutex> lock(link.linkMutex);
    ValueDictionary values;
    TamGetParser parser(&link, &link, values);
    reader.start();
    bool complete;
    {
        StopRequest::Waker waker(stop, [&values] { values.interrupt(); });
        complete = !stop.requested() && session.lossReason().empty() && waitForIdentityFields(values, session);
    }
    if (complete) {
        HexProto hex(&link);
        identify(values, hex, identity);
    }
    lock.unlock();
    reader.stop();
    return complete;
}

std::string trimRegisterText(const std::string& text) {
    std::size_t end = text.find_last_not_of(" \t\r\n");
    return end == std::string::npos ? text : text.substr(0, end + 1);
}

std::string firmwareFieldVersion(const std::string& fw) {
    if (fw.size() <= 2) return fw;
    return fw.substr(0, fw.size() - 2) + "." + fw.substr(fw.size() - 2);
}

// Reads like sscanf's "0x%x", but a number too large for the conversion is
// refused instead of wrapping into a small id.
std::uint16_t parseProductId(const std::string& pid) {
    if (pid.compare(0, 2, "0x") != 0) return kUnknownProduct;
    const char* digits = pid.c_str() + 2;
    char* end = nullptr;
    errno = 0;
    unsigned long long id = std::strtoull(digits, &end, 16);
    if (end == digits || errno == ERANGE || id > 0xFFFF) return kUnknownProduct;
    return static_cast<std::uint16_t>(id);
}

void identify(const ValueDictionary& values, HexProto& hex, Identity& identity) {
    std::uint16_t& productId = identity.productId;
    TamValue entry;
    if (values.find("manf", entry)) identity.manufacturer = entry.text;
    if (values.find("prod", entry)) identity.model = entry.text;
    if (values.find("PID", entry)) {
        identity.manufacturer = kManufacturer;
        productId = parseProductId(entry.text);
        identity.model = modelForProduct(hex, productId);
    }
    if (values.find("ser#", entry)) {
        identity.serialNumber = entry.text;
    } else {
        readRegisterText(hex, kSerialNumberRegister, identity.serialNumber);
    }
    if (values.find("FW", entry)) {
        identity.softwareVersion = firmwareFieldVersion(entry.text);
    } else if (values.find("ver#", entry)) {
        identity.softwareVersion = entry.text;
    }
    hex.getDeviceId(productId);
}

}  // namespace tessline
