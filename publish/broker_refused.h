// A broker that refused the credentials, or a TLS certificate that did not
// pass: waiting mends neither, so the run ends with its own exit code. The
// reason is logged where it was found.
#pragma once

#include <exception>
#include <string>

#include <boost/exception/exception.hpp>

#include "hex/errors.h"
#include "hex/exit_codes.h"

namespace tessline {

constexpr int kBrokerRefusedExitCode = kExitBrokerRefused;

struct broker_refused : virtual boost::exception, virtual std::exception {
    explicit broker_refused(std::string reason) : reason_(std::move(reason)) {
        *this << tag_exit_code(kBrokerRefusedExitCode) << tag_what("MQTT broker refused");
    }
    const char* what() const noexcept override { return reason_.c_str(); }

private:
    std::string reason_;
};

}  // namespace tessline
