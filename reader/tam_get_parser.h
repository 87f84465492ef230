// TamGetParser: collects the identification fields that the device announces
// (product id, serial number, firmware and model labels) into the front end's
// value dictionary, and leaves a "PID" placeholder when the device answers
// in HEX before any TEXT block has come.
#pragma once

#include <string>

#include <boost/signals2/connection.hpp>

#include "hex/hex_msg.h"
#include "reader/tam_value.h"

namespace tessline {

class HexLink;
class TextFieldSource;

// The placeholder text of "PID" for a device seen only through HEX frames.
extern const char* const kUnknownProductText;

// Enters a wanted TEXT field unless its label is there already; true when entered.
bool enterTextField(ValueDictionary& values, const std::string& label, const std::string& value);
// Enters the "PID" placeholder as the very first entry when `msg` shows a
// device that talks HEX; true when entered.
bool enterHexTrace(ValueDictionary& values, const HexMsg& msg);

class TamGetParser {
public:
    // Listens to the frames of `link` and the TEXT fields of `text` (the
    // same serial link in a run) until destroyed.
    TamGetParser(HexLink* link, TextFieldSource* text, ValueDictionary& values);
    ~TamGetParser();
    TamGetParser(const TamGetParser&) = delete;
    TamGetParser& operator=(const TamGetParser&) = delete;

    // The slots; the link calls them on its reader thread.
    void onTextField(const std::string& label, const std::string& value);
    void onHexMsg(const HexMsg& msg);

private:
    boost::signals2::connection hexConnection_;
    boost::signals2::connection textConnection_;
    HexLink* link_;
    TextFieldSource* text_;
    ValueDictionary& values_;
};

}  // namespace tessline
