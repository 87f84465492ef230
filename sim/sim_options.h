// The simulator's command line.
#pragma once

#include <string>

#include "sim/sim_settings.h"

namespace tessline {

struct SimCommandLine {
    SimSettings settings;
    bool help = false;
};

// Throws std::invalid_argument (or a Boost.Program_options error, which
// derives from std::logic_error) with a message for the user.
SimCommandLine parseSimCommandLine(int argc, const char* const argv[]);

// The --help text.
std::string simHelpText();

}  // namespace tessline
