// Identification: the identity fields from the value dictionary, with HEX
// register reads where a field is missing, and the device id.
#pragma once

#include <cstdint>
#include <string>

#include "app/output_name.h"

namespace tessline {

class HexProto;
class LinkSession;
class StopRequest;
class ValueDictionary;

constexpr const char* kManufacturer = "Caldane Energy";

// Trailing spaces, tabs, CR and LF removed, unless the text is nothing else.
std::string trimRegisterText(const std::string& text);
// "FW" 119 reads 1.19, 1234 reads 12.34; two characters or fewer stay.
std::string firmwareFieldVersion(const std::string& fw);
// A "PID" value "0x" followed by hex digits, at most 0xFFFF; else 0xFFFF.
std::uint16_t parseProductId(const std::string& pid);

// Fills `identity` (product id 0xFFFF unless known) from the dictionary and
// the device, and asks for the device id (which may throw no_response).
void identify(const ValueDictionary& values, HexProto& hex, Identity& identity);

// Collects the identity while holding the link: the get-info parser and the
// register reader run until the device has announced enough fields. Returns
// false when a stop request or a lost link ended the wait.
bool identifyDevice(LinkSession& session, StopRequest& stop, Identity& identity);

}  // namespace tessline
