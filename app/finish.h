// The one way out of the program: close the link, log the run time, print
// the backlog, exit with the code.
#pragma once

namespace tessline {

class TamSerial;

// The link that finish() closes; null when there is none.
void setOpenLink(TamSerial* link);
TamSerial* openLink();

[[noreturn]] void finish(int code);

}  // namespace tessline
