// TextFieldSource: what a consumer of TEXT fields needs of a link, and no
// more: the fields of each valid block as they arrive. The serial link is
// one; a test may be another.
#pragma once

#include <string>

#include <boost/signals2/signal.hpp>

namespace tessline {

class TextFieldSource {
public:
    virtual ~TextFieldSource() = default;

    // Each field of a block that passed its checksum (label, value), the
    // checksum field last, on the thread that receives.
    boost::signals2::signal<void(const std::string& label, const std::string& value)> rxTextField;
};

}  // namespace tessline
