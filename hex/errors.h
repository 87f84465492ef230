// Error-information tags carried by the program's exceptions, and the
// exception of a HEX request that got no acceptable answer.
#pragma once

#include <exception>

#include <boost/exception/exception.hpp>
#include <boost/exception/info.hpp>

namespace tessline {

enum class UpdateState { idle, running, failed };

using tag_what = boost::error_info<struct tag_what_, const char*>;
using tag_update_state = boost::error_info<struct tag_update_state_, UpdateState>;
using tag_exit_code = boost::error_info<struct tag_exit_code_, int>;

struct no_response : virtual boost::exception, virtual std::exception {
    const char* what() const noexcept override { return "no response"; }
};

}  // namespace tessline
