// The whole run of the uninstaller, from the argument vector to the exit
// status.
#pragma once

namespace vx {

// 0 when the run went to its end, 1 when an exception ended it early.
int RunUninstall(int argc, const char* const* argv);
// True when any argument after the program name is exactly "--mode=update".
bool HasUpdateFlag(int argc, const char* const* argv);

}  // namespace vx
