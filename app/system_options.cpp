#include "app/system_options.h"

#include <boost/program_options/errors.hpp>

#include "platform/console.h"

namespace tessline {

void applySystemOptions(const boost::program_options::variables_map& options) {
#ifdef SOLWATCH_NO_MQTT
    // --mqtt, its companions and --no-table, which only --mqtt allows;
    // those with a default count only when given.
    for (const auto& [name, value] : options) {
        const bool mqttOption = name == "mqtt" || name.rfind("mqtt-", 0) == 0 || name == "no-table";
        if (mqttOption && !value.defaulted())
            throw boost::program_options::error("option '--" + name +
                                                "' is not in the Windows build: it has no MQTT client");
    }
#endif
    if (options.count("dump")) useBinaryStandardOutput();
}

}  // namespace tessline
