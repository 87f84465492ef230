// Why a TLS handshake with the broker failed, when the client library does
// not say: it reports a certificate for another host name as a plain
// connection failure.
#pragma once

#include <string>

#include "publish/mqtt_settings.h"

namespace tessline {

// Connects to the broker once with OpenSSL alone, checks its certificate
// against `caFile` (empty: the system's CA store) and the URL's host, and
// returns the TLS library's reason when it does not pass ("hostname
// mismatch", "certificate has expired"). "" when it passes, or when the
// broker cannot be reached or the handshake fails for another reason. Each
// step is bounded by a few seconds.
std::string certificateProblem(const BrokerUrl& broker, const std::string& caFile);

}  // namespace tessline
