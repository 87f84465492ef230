// The capabilities report: ping the device, qualify it as a supported
// charger, and work out its capabilities and ratings.
#pragma once

#include <string>

#include "hex/errors.h"
#include "identity/device_info.h"

namespace tessline {

class HexLink;

// A device that the report does not accept. It carries the exit code that
// ends the run (tag_exit_code) and the logged reason (what()); the caller
// decides whether to end the run or to try again later.
struct device_refused : virtual boost::exception, virtual std::exception {
    explicit device_refused(std::string reason) : reason_(std::move(reason)) {}
    const char* what() const noexcept override { return reason_.c_str(); }

private:
    std::string reason_;
};

// The exit code that a refusal carries.
int refusalExitCode(const device_refused& refusal);

// Where a refusal's reason is logged: here, as the report finds it, or by
// the caller (a reconnecting run logs a lasting refusal as it logs an absent
// device, not at every try).
enum class RefusalLog { here, byCaller };

// Returns the DeviceInfo, or logs the reason (as `refusalLog` says) and
// throws device_refused with 3 (no ping reply / no response), 81 (not an
// application), 22 (no device id) or 91 (not a supported charger).
DeviceInfo capabilitiesReport(HexLink& link, RefusalLog refusalLog = RefusalLog::here);

}  // namespace tessline
