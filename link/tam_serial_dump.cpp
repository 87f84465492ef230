#include "link/tam_serial_dump.h"

#include "link/tam_serial.h"
#include "log/log.h"

namespace tessline {

void TamSerialDump::connect() {
    if (!rxConnection_.connected()) {
        logInfo("serial", "dumper: connect rx");
        rxConnection_ = serial_.rxChar.connect([this](char c) { onRx(c); });
    }
    if (!txConnection_.connected()) {
        logInfo("serial", "dumper: connect tx");
        txConnection_ = serial_.txData.connect([this](std::string& text) { onTx(text); });
    }
}

void TamSerialDump::disconnect() {
    if (rxConnection_.connected()) {
        logInfo("serial", "dumper: disconnect rx");
        rxConnection_.disconnect();
    }
    if (txConnection_.connected()) {
        logInfo("serial", "dumper: disconnect tx");
        txConnection_.disconnect();
    }
}

}  // namespace tessline
