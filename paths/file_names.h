// Single-path helpers for the plugin's files: classification by extension,
// file names in UTF-8, joining a folder and a UTF-8 name.
#pragma once

#include <string>

#include "paths/text.h"

namespace vx {

class VXPluginContext;

enum class PluginFileKind { Other = 0, Font = 1, Temporary = 2 };

// ".otf" or no extension: Font; ".tmp": Temporary; case-sensitive.
PluginFileKind ClassifyPluginFile(WideString path);
bool FontFileNameUtf8(const WideString& path, std::string& name);
std::string FileNameUtf8(const WideString& path);
bool TryFileNameUtf8(const WideString& path, std::string& name);
WideString JoinUtf8Name(WideString folder, std::string name);
// Deletes the file of the same name in the "e" folder beside the file's
// one-letter folder.
void DeleteTwinInEFolder(VXPluginContext* context, WideString path);
bool CreateRoamingDirs(VXPluginContext* context);

}  // namespace vx
