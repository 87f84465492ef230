// The one way out of the program: close the link, log the run time, print
// the backlog, exit with the code.
#pragma once

namespace tessline {

class CaptureWriter;
class TamSerial;

// The link that finish() closes; null when there is none. Setting it waits
// while finish() closes the one before: a session sets null before it
// destroys its link.
void setOpenLink(TamSerial* link);

// The capture that finish() completes after closing the link; null when
// there is none. It is never destroyed: the process ends through finish().
void setOpenCapture(CaptureWriter* capture);

[[noreturn]] void finish(int code);
// finish() for a thread other than the main thread, which may still be
// running: the same lines and flush, but no static destructors, which
// belong to the main thread alone.
[[noreturn]] void finishFromOtherThread(int code);

}  // namespace tessline
