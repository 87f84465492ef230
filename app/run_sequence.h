// The run sequence: the link, identification, the optional output file, and
// exactly one run mode. Returns the run's exit code for finish(); failures
// throw to main's handlers.
#pragma once

#include <boost/program_options/variables_map.hpp>

namespace tessline {

class StopRequest;
class TableListener;

int runSequence(const boost::program_options::variables_map& options, StopRequest& stop);

}  // namespace tessline
