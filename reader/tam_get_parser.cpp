#include "reader/tam_get_parser.h"

#include "hex/hex_link.h"
#include "hex/text_field_source.h"
#include "log/log.h"

namespace tessline {

const char* const kUnknownProductText = "????";

namespace {

const char* const kWantedLabels[] = {"prod", "ser#", "ver#", "TAM", "PID", "FW"};
constexpr std::uint8_t kPingAnswerCode = 0x5;

bool isWantedLabel(const std::string& label) {
    for (const char* wanted : kWantedLabels)
        if (sameLabel(label, wanted)) return true;
    return false;
}

bool logAdded(bool added, const std::string& label) {
    if (added) logInfo("reader", "parser: dictionary add (%s)", label.c_str());
    return added;
}

}  // namespace

bool enterTextField(ValueDictionary& values, const std::string& label, const std::string& value) {
    // The checksum field closes every valid block.
    if (sameLabel(label, "Checksum")) values.noteBlockEnd();
    if (!isWantedLabel(label)) return false;
    return logAdded(values.appendIfAbsent(TamValue{value, label}), label);
}

// A frame of at least four bytes (checksum included), or a ping answer of
// any length, shows that the device talks HEX.
bool enterHexTrace(ValueDictionary& values, const HexMsg& msg) {
    HexMsg copy(msg);
    std::uint8_t code = copy.readU8();  // 0 when missing
    copy.readU16();
    copy.readU8();
    bool talksHex = !copy.failed() || code == kPingAnswerCode;
    if (!talksHex) return false;
    const std::string label = "PID";
    return logAdded(values.appendIfEmpty(TamValue{kUnknownProductText, label}), label);
}

// The connected slots capture the dictionary, not this parser: an emission
// already under way on the reader thread while the parser is destroyed then
// touches only the dictionary, which the front end keeps beyond the parser.
TamGetParser::TamGetParser(HexLink* link, TextFieldSource* text, ValueDictionary& values)
    : link_(link), text_(text), values_(values) {
    logInfo("reader", "parser: establish hex protocol connection");
    hexConnection_ = link_->rxHexMsg.connect([&values](const HexMsg& msg) { enterHexTrace(values, msg); });
    logInfo("reader", "parser: establish text protocol connection");
    textConnection_ = text_->rxTextField.connect(
        [&values](const std::string& label, const std::string& value) { enterTextField(values, label, value); });
}

TamGetParser::~TamGetParser() {
    if (hexConnection_.connected()) {
        logInfo("reader", "parser: disconnect hex protocol connection");
        hexConnection_.disconnect();
    }
    if (textConnection_.connected()) {
        logInfo("reader", "parser: disconnect text protocol connection");
        textConnection_.disconnect();
    }
}

void TamGetParser::onTextField(const std::string& label, const std::string& value) {
    enterTextField(values_, label, value);
}

void TamGetParser::onHexMsg(const HexMsg& msg) { enterHexTrace(values_, msg); }

}  // namespace tessline
