// Runs gnuplot on a PlotJob: no shell in between, the script and the data in
// a private temporary folder, the picture read from gnuplot's standard output.
#pragma once

#include <csignal>
#include <stdexcept>

#include "plot/gnuplot_script.h"
#include "plot/picture_file.h"

namespace tessline {

// gnuplot is missing, fails, or takes too long; the message is one line.
class draw_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Set by a signal handler; drawing stops at once and throws draw_error.
extern volatile std::sig_atomic_t stopSignal;

// Writes the picture into `picture`; throws draw_error.
void drawPicture(const PlotJob& job, PictureFile& picture);

}  // namespace tessline
