// The run sequence after the link has started: identification, the optional
// output file, and exactly one run mode. Every path ends in finish().
#pragma once

#include <boost/program_options/variables_map.hpp>

namespace tessline {

class TamSerial;
class StopRequest;

[[noreturn]] void runSequence(TamSerial& link, const boost::program_options::variables_map& options,
                              StopRequest& stop);

}  // namespace tessline
