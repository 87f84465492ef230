#include "app/reconnect_policy.h"

#include <algorithm>
#include <iterator>

#include <boost/system/system_error.hpp>

#include "hex/errors.h"
#include "hex/exit_codes.h"
#include "http/listen_address.h"
#include "identity/capabilities.h"
#include "publish/broker_refused.h"

namespace tessline {

namespace {

constexpr int kBackoffSeconds[] = {1, 2, 4, 8, 16, 30};
constexpr std::chrono::hours kAbsenceReminderEvery{1};

std::string orLossReason(const std::string& lossReason, const std::string& own) {
    return lossReason.empty() ? own : lossReason;
}

}  // namespace

std::chrono::seconds Backoff::nextDelay() const {
    if (failures_ == 0) return std::chrono::seconds(0);
    const int last = static_cast<int>(std::size(kBackoffSeconds)) - 1;
    return std::chrono::seconds(kBackoffSeconds[std::min(failures_ - 1, last)]);
}

AbsenceLog::Line AbsenceLog::tryFailed(Clock::time_point now) {
    if (!since_) {
        since_ = now;
        return Line::first;
    }
    // Counted from the first failure, so that the reminders keep to the
    // hour however long each try takes.
    if (now - *since_ < kAbsenceReminderEvery * (reminders_ + 1)) return Line::none;
    reminders_ = static_cast<int>((now - *since_) / kAbsenceReminderEvery);
    return Line::reminder;
}

bool AbsenceLog::deviceBack() {
    const bool wasLogged = since_.has_value();
    since_.reset();
    reminders_ = 0;
    return wasLogged;
}

FailureVerdict classifyFailure(const std::exception_ptr& failure, const std::string& lossReason) {
    try {
        std::rethrow_exception(failure);
    } catch (const device_refused& e) {
        // Another device may be plugged in, or this one may finish booting.
        return {true, true, std::string("device refused: ") + e.what(), refusalExitCode(e)};
    } catch (const broker_refused& e) {
        // Waiting mends neither credentials nor a certificate.
        return {false, true, e.what(), kExitBrokerRefused};
    } catch (const http_listen_failed& e) {
        return {false, true, e.what(), kExitHttpListen};
    } catch (const boost::system::system_error& e) {
        // The port could not be opened, or went away under a read or write.
        return {true, false, orLossReason(lossReason, e.what()), kExitFailure};
    } catch (const no_response& e) {
        return {true, false, orLossReason(lossReason, "no response to a request"), carriedExitCode(e)};
    } catch (const boost::exception& e) {
        const auto* plain = dynamic_cast<const std::exception*>(&e);
        return {false, false, plain ? plain->what() : "don't know....", carriedExitCode(e)};
    } catch (const std::exception& e) {
        return {false, false, e.what(), kExitFailure};
    } catch (...) {
        return {false, false, "Unknown exception", kExitFailure};
    }
}

}  // namespace tessline
