// TamSerialDump: mirrors the raw traffic of a link, both directions, onto a
// stream, without markers or separators.
#pragma once

#include <ostream>
#include <string>

#include <boost/signals2/connection.hpp>

namespace tessline {

class TamSerial;

class TamSerialDump {
public:
    TamSerialDump(TamSerial& serial, std::ostream& out) : serial_(serial), out_(out) {}
    ~TamSerialDump() { disconnect(); }
    TamSerialDump(const TamSerialDump&) = delete;
    TamSerialDump& operator=(const TamSerialDump&) = delete;

    void connect();
    void disconnect();

    void onRx(char c) { out_ << c; }
    void onTx(std::string text) { out_ << text; }

private:
    boost::signals2::connection rxConnection_;
    boost::signals2::connection txConnection_;
    TamSerial& serial_;
    std::ostream& out_;
};

}  // namespace tessline
