#include "app/error_report.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/get_error_info.hpp>

#include "app/reconnect_policy.h"
#include "hex/errors.h"
#include "hex/exit_codes.h"

namespace tessline {

const char* const kOpeningRule = "========================== ERROR =============================";
const char* const kMiddleRule = "--------------------------------------------------------------";
const char* const kClosingRule = "==============================================================";

int reportBoostException(std::ostream& err, const boost::exception& e) {
    err << kOpeningRule << std::endl;
    const char* const* what = boost::get_error_info<tag_what>(e);
    if (what) err << *what << " ";
    if (!what && !boost::get_error_info<tag_update_state>(e)) err << "don't know....";
    err << std::endl;
    err << kMiddleRule << std::endl;
    err << boost::diagnostic_information(e);
    err << kClosingRule << std::endl;
    return carriedExitCode(e);
}

int reportStdException(std::ostream& err, const std::exception& e) {
    err << kOpeningRule << std::endl;
    err << e.what() << kClosingRule << std::endl;
    return kExitFailure;
}

int reportUnknownException(std::ostream& err) {
    err << kOpeningRule << std::endl;
    err << "Unknown exception" << std::endl;
    err << kClosingRule << std::endl;
    return kExitFailure;
}

int reportFailure(std::ostream& err, const std::exception_ptr& failure) {
    const FailureVerdict verdict = classifyFailure(failure, std::string());
    if (verdict.loggedWhereFound) return verdict.exitCode;
    try {
        std::rethrow_exception(failure);
    } catch (const boost::exception& e) {
        return reportBoostException(err, e);
    } catch (const std::exception& e) {
        return reportStdException(err, e);
    } catch (...) {
        return reportUnknownException(err);
    }
}

}  // namespace tessline
