// The run sequence: the link, identification, the optional output file, and
// exactly one run mode. Every path ends in finish().
#pragma once

#include <boost/program_options/variables_map.hpp>

namespace tessline {

class StopRequest;
class TableListener;

[[noreturn]] void runSequence(const boost::program_options::variables_map& options, StopRequest& stop);

}  // namespace tessline
