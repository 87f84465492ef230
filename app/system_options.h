// The options that depend on the system the program was built for.
#pragma once

#include <boost/program_options/variables_map.hpp>

namespace tessline {

// Refuses, with the option library's error, the options of a part that this
// build does not have (the MQTT client in the Windows build), and gives -d
// a standard output that passes its bytes unchanged.
void applySystemOptions(const boost::program_options::variables_map& options);

}  // namespace tessline
