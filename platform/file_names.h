// What a file name may hold, for the parts of -o names that come from the
// device or the clock.
#pragma once

namespace tessline {

// A character that cannot stand in a file name's last part: "/" on POSIX;
// on Windows also \ : * ? " < > |.
bool isReservedInFileName(char c);

}  // namespace tessline
