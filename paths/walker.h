// One-level folder walk: every file directly inside a folder, handed with its
// full path to a callback. Subfolders are never entered.
#pragma once

#include "paths/text.h"

namespace vx {

// Return true to go on, false to stop the walk.
using EntryCallback = bool (*)(void* context, WideString path);

void WalkDirectory(WideString folder, EntryCallback callback, void* context);

}  // namespace vx
