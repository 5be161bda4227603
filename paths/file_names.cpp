// The plugin's file kinds by extension, UTF-8 names, and the twin in the
// sibling e folder.
#include "paths/file_names.h"

#include "context/plugin_context.h"
#include "fileops/path_ops.h"
#include "fileops/platform.h"
#include "fileops/remove.h"

namespace vx {

PluginFileKind ClassifyPluginFile(WideString path) {
    const std::u16string_view ext = win::PathFindExtensionW(path.c_str());
    if (ext.empty()) return PluginFileKind::Font;
    if (ext == u".tmp") return PluginFileKind::Temporary;
    if (ext == u".otf") return PluginFileKind::Font;
    return PluginFileKind::Other;
}

bool FontFileNameUtf8(const WideString& path, std::string& name) {
    if (ClassifyPluginFile(path) != PluginFileKind::Font) return false;
    name = WideToUtf8(WideString(win::PathFindFileNameW(path.c_str())));
    return true;
}

std::string FileNameUtf8(const WideString& path) {
    const char16_t* name = win::PathFindFileNameW(path.c_str());
    // For "C:\a\b\" the shell answers "b\" (and "b/" for "C:\a\b/"): that
    // names a folder, not a file.
    for (const char16_t* p = name; *p; ++p)
        if (*p == u'\\' || *p == u'/') return {};
    char area[win::kMaxPath] = {};
    if (!WideToUtf8Buffer(name, area, sizeof area)) return {};
    return area;
}

bool TryFileNameUtf8(const WideString& path, std::string& name) {
    name = FileNameUtf8(path);
    return !name.empty();
}

WideString JoinUtf8Name(WideString folder, std::string name) {
    char16_t area[win::kMaxPath] = {};
    if (!Utf8ToWideBuffer(std::move(name), area, win::kMaxPath)) return {};
    // A name is one part inside the folder: "..\..\x" would lead out of it.
    const WideString part = area;
    if (part == u"." || part == u".." || part.find_first_of(u"\\/") != WideString::npos) return {};
    return folder + u"\\" + part;
}

void DeleteTwinInEFolder(VXPluginContext*, WideString path) {
    const char16_t* name = win::PathFindFileNameW(path.c_str());
    const std::size_t at = static_cast<std::size_t>(name - path.c_str());
    // Only "...\X\name" has a one-letter folder two places before the name;
    // on any other path the overwrite would hit the wrong character or fall
    // before the string.
    if (at < 3 || path[at - 1] != u'\\' || path[at - 3] != u'\\' || path[at - 2] == u'\\' ||
        at == path.size() || path.find(u'\\', at) != WideString::npos)
        return;
    path[at - 2] = u'e';
    if (IsExistingFile(path)) DeleteFileOrRename(path);
}

bool CreateRoamingDirs(VXPluginContext* context) {
    bool all = true;
    for (const WideString* dir :
         {&context->roamingEDir, &context->roamingRDir, &context->roamingFourthDir,
          &context->roamingUDir, &context->roamingWDir, &context->roamingTDir,
          &context->roamingXDir})
        all = EnsureFolder(*dir, true) && all;
    return all;
}

}  // namespace vx
