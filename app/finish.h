// The one way out of the program: close the link, log the run time, print
// the backlog, exit with the code.
#pragma once

#include <memory>

namespace tessline {

class CaptureWriter;
class TamSerial;

// The link that finish() closes; null when there is none. Shared with its
// session. Setting it waits while finish() closes the one before: a session
// sets null before it closes its link.
void setOpenLink(std::shared_ptr<TamSerial> link);

// The capture that finish() completes after closing the link (whose reader
// thread is the last to record into it); null when there is none. Shared
// with the sessions that record into it.
void setOpenCapture(std::shared_ptr<CaptureWriter> capture);

// What finish() lets go of on the main thread once it has closed the link
// and the capture: the run's last session, left open for it.
void keepUntilFinish(std::shared_ptr<void> kept);

[[noreturn]] void finish(int code);
// finish() for a thread other than the main thread, which may still be
// running: the same lines and flush, but nothing let go of and no static
// destructors, which belong to the main thread alone.
[[noreturn]] void finishFromOtherThread(int code);

}  // namespace tessline
