// S-record reader on arbitrary text: no crash, no access outside the window,
// and whatever lands in a window is written and read back unchanged.
#include "image/srecord.h"
#include "tests/image/round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    image_test::checkReaderOnText(tessline::readSRecordText, tessline::writeSRecordText, data, size,
                                  /*countedByWindow=*/false);
    return 0;
}
