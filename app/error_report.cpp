#include "app/error_report.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/get_error_info.hpp>

#include "hex/errors.h"

namespace tessline {

const char* const kOpeningRule = "========================== ERROR =============================";
const char* const kMiddleRule = "--------------------------------------------------------------";
const char* const kClosingRule = "==============================================================";

// No exception of this program carries an exit code; those of the library's
// family end the run with -1 like every other failure then.
constexpr int kDefaultFailureCode = -1;

int reportBoostException(std::ostream& err, const boost::exception& e) {
    err << kOpeningRule << std::endl;
    const char* const* what = boost::get_error_info<tag_what>(e);
    if (what) err << *what << " ";
    if (!what && !boost::get_error_info<tag_update_state>(e)) err << "don't know....";
    err << std::endl;
    err << kMiddleRule << std::endl;
    err << boost::diagnostic_information(e);
    err << kClosingRule << std::endl;
    const int* code = boost::get_error_info<tag_exit_code>(e);
    return code ? *code : kDefaultFailureCode;
}

int reportStdException(std::ostream& err, const std::exception& e) {
    err << kOpeningRule << std::endl;
    err << e.what() << kClosingRule << std::endl;
    return -1;
}

int reportUnknownException(std::ostream& err) {
    err << kOpeningRule << std::endl;
    err << "Unknown exception" << std::endl;
    err << kClosingRule << std::endl;
    return -1;
}

}  // namespace tessline
