// The write mode: reads the charger's EEPROM window block by block and saves
// it as an image file whose extension picks the format.
#pragma once

#include <string>

namespace tessline {

class HexProto;
class StopRequest;
class TamSerial;

// Returns the exit code: 0 after a save, the stop code on a signal. A target
// that cannot be written is refused before the first EEPROM request; blocks
// that failed or came short leave the target as it was, save what was read
// as NAME.partial.EXT beside it and end with an error. Failures throw to
// the handlers.
int writeMode(TamSerial& link, HexProto& hex, const std::string& fileName, StopRequest& stop);

}  // namespace tessline
