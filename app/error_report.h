// The reports of failures that end a run, printed on standard error. Each
// returns the exit code that the run ends with.
#pragma once

#include <exception>
#include <ostream>

#include <boost/exception/exception.hpp>

namespace tessline {

extern const char* const kOpeningRule;
extern const char* const kMiddleRule;
extern const char* const kClosingRule;

int reportBoostException(std::ostream& err, const boost::exception& e);
int reportStdException(std::ostream& err, const std::exception& e);
int reportUnknownException(std::ostream& err);

// The report of whatever ended the run: none for a failure that was logged
// where it was found, else the one of the handlers above that fits.
int reportFailure(std::ostream& err, const std::exception_ptr& failure);

}  // namespace tessline
