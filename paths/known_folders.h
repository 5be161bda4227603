// Where the plugin keeps its per-user folders, below the user's known
// folders. Nothing here touches the file system beyond asking the shell.
#pragma once

#include <string>

#include "paths/text.h"

namespace vx {

// Each is empty when the shell cannot resolve the known folder.
WideString RoamingPluginDir();
WideString LocalPluginDir();
WideString LocalPluginCDir();
// roaming: the "c" folder in the roaming plugin folder; otherwise the
// plugin's folder below the cloud-files folder in the profile.
WideString PluginDataDir(bool roaming);
std::string UserOwnedFontsDir();
std::string RoamingAppDataDir();

std::string ToUtf8Path(const WideString& path);

// What the shell's answer for a known folder makes of suffix: empty unless
// the answer is a fully qualified path.
WideString KnownFolderLocation(WideString shellPath, const char16_t* suffix);

}  // namespace vx
