// The process's exit codes, one list for every mode; the README's table and
// the man page's EXIT STATUS show the same. They sit beside tag_exit_code,
// which carries them on exceptions, low enough for the capabilities report
// and the publisher to name them too.
#pragma once

#include <boost/exception/get_error_info.hpp>

#include "hex/errors.h"

namespace tessline {

constexpr int kExitOk = 0;               // help, version, a saved image, a dump ended by a signal
constexpr int kExitUsage = 1;            // no arguments: the usage text
constexpr int kExitNoPingReply = 3;      // capabilities check: no usable ping reply, or no answer
constexpr int kExitBrokerRefused = 5;    // --mqtt: credentials or TLS certificate refused
constexpr int kExitHttpListen = 6;       // --http: a port in use or a bad address
constexpr int kExitCloseFailed = 10;     // closing the port failed at the end
constexpr int kExitNoSerial = 11;        // no --serial
constexpr int kExitNoDeviceId = 22;      // capabilities check: the device id reply carries no id
constexpr int kExitNotApplication = 81;  // capabilities check: boot code or tester firmware
constexpr int kExitNotCharger = 91;      // capabilities check: not a supported MPPT charger
constexpr int kExitFailure = -1;         // option errors, and failures reported with an error banner
constexpr int kExitSignalBase = 128;     // get and write mode ended by a signal: 128 + its number
// The get mode ends with the product id, which has no name of its own.

struct NamedExitCode {
    int code;
    const char* name;
};

constexpr NamedExitCode kExitCodes[] = {
    {kExitOk, "ok"},
    {kExitUsage, "usage"},
    {kExitNoPingReply, "no ping reply"},
    {kExitBrokerRefused, "broker refused"},
    {kExitHttpListen, "http listen failed"},
    {kExitCloseFailed, "close failed"},
    {kExitNoSerial, "no serial port"},
    {kExitNoDeviceId, "no device id"},
    {kExitNotApplication, "not an application"},
    {kExitNotCharger, "not a charger"},
    {kExitFailure, "failure"},
    {kExitSignalBase, "signal base"},
};

// The code that an exception carries in tag_exit_code; nothing in this
// program attaches one to a failure with a banner, which then ends with -1.
inline int carriedExitCode(const boost::exception& e) {
    const int* code = boost::get_error_info<tag_exit_code>(e);
    return code ? *code : kExitFailure;
}

}  // namespace tessline
