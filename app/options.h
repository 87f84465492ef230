// The command line: option groups, help, version and usage texts.
#pragma once

#include <ostream>
#include <string>

#include <boost/program_options.hpp>

namespace tessline {

extern const char* const kBanner;
extern const char* const kVersionNumber;

struct OptionGroups {
    OptionGroups();
    boost::program_options::options_description visible;  // printed by --help and the usage
    boost::program_options::options_description service;  // printed by --help after `visible`
    boost::program_options::options_description network;  // printed by --help after `service`
    boost::program_options::options_description hidden;
    boost::program_options::options_description all;      // what the command line is parsed against
};

boost::program_options::variables_map parseCommandLine(int argc, const char* const argv[], const OptionGroups& groups);

std::string versionLine();
void printUsage(std::ostream& out, const OptionGroups& groups);
void printHelp(std::ostream& out, const OptionGroups& groups);

}  // namespace tessline
