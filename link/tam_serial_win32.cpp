// PLACEHOLDER for the Win32 serial link, which is being written on its own:
// it only lets solwatch.exe link. Opening a port fails with "open" and the
// system's "not supported" code, so no run reaches a device with it. The
// real TamSerial for Windows (COM ports, the reader thread) replaces this
// whole file.
#include <windows.h>

#include <boost/system/system_error.hpp>

#include "link/tam_serial.h"

namespace tessline {

struct TamSerial::Port {};

std::string devicePathForPort(const std::string& portName) { return portName; }

TamSerial::TamSerial(const std::string& portName) : receivePath_(rxChar, rxHexMsg, rxTextField) {
    (void)portName;
    throw boost::system::system_error(
        boost::system::error_code(ERROR_NOT_SUPPORTED, boost::system::system_category()), "open");
}

TamSerial::~TamSerial() = default;

void TamSerial::setRestBetweenReads(bool) {}

void TamSerial::start() {}

int TamSerial::write(const HexMsg&) { return kHexRequestFailed; }

void TamSerial::close() {}

}  // namespace tessline
