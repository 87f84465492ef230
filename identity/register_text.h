// The text that a register answer carries, such as the model name.
#pragma once

#include <string>

#include "hex/hex_msg.h"

namespace tessline {

// The value bytes of a received get-register answer (after code, register id
// and flags, before the checksum) as characters, zero bytes left out.
// An answer too short to hold any value byte gives an empty text.
std::string registerText(const HexMsg& answer);

}  // namespace tessline
