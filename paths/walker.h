// One-level folder walk: every file directly inside a folder, handed with its
// full path to a callback. Subfolders are never entered.
#pragma once

#include "paths/text.h"

namespace vx {

// Return true to go on, false to stop the walk.
using EntryCallback = bool (*)(void* context, WideString path);

void WalkDirectory(WideString folder, EntryCallback callback, void* context);

// What a walk leaves without handing it on: the folder itself, not walked
// (name null, why "not walked: ..."), or a subfolder or file of it, left
// (why is the reason alone). Only a diagnostic log sets one; without it a
// walk makes no call more.
enum class WalkSkip { Folder, Subfolder, File };
using WalkObserver = void (*)(const WideString& folder, const char16_t* name, WalkSkip what,
                              const char* why);
extern WalkObserver g_walkObserver;

}  // namespace vx
