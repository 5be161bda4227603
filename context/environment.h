// Facts about the machine and the moment, as narrow text.
#pragma once

#include <string>

namespace vx {

// The user's locale name ("de-DE"), or "unknown".
std::string UserLocaleName();
// "10.0 19045", "Server 6.3 9600", or "unknown".
std::string OsVersionText();
// "2025-03-05T07:04:09.012000": UTC, no zone designator.
std::string UtcTimestampText();

}  // namespace vx
