// The failure sink and the texts of its reports.
#include "fileops/failure.h"

#include <sstream>
#include <string>

#include "fileops/platform.h"

namespace vx {

FailureSink g_failureSink;

void ReportLastError(const char* message) {
    // Read first: building the text may itself change the last error.
    const auto code = static_cast<std::int32_t>(win::GetLastError());
    if (!g_failureSink.report) return;
    std::ostringstream text;
    text << message << ", code=" << code;
    const std::string s = text.str();
    g_failureSink.report(g_failureSink.context, s.c_str(), 1);
}

void ReportFailure(const char* message) {
    if (g_failureSink.report) g_failureSink.report(g_failureSink.context, message, 1);
}

}  // namespace vx
