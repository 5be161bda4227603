// The one way the program tells of a failure: a short text handed to an
// optional process-wide sink. The uninstaller installs none, so reports cost a
// last-error read and a pointer test.
#pragma once

#include <cstdint>

namespace vx {

using FailureSinkFn = void (*)(void* context, const char* message, std::int32_t level);

struct FailureSink {
    FailureSinkFn report = nullptr;
    void* context = nullptr;
};

// Process-wide; empty from start-up on.
extern FailureSink g_failureSink;

// The message, ", code=" and the thread's last error as a signed number.
void ReportLastError(const char* message);
// The message alone.
void ReportFailure(const char* message);

}  // namespace vx
