// The plugin's per-user folders below the shell's known folders, and the
// narrow forms of those paths.
#include "paths/known_folders.h"

#include <utility>

#include "fileops/held_folder.h"
#include "fileops/platform.h"
#include "paths/exact_path.h"

namespace vx {
namespace {

WideString Resolve(win::KnownFolder id, const char16_t* suffix) {
    WideString path;
    win::WCHAR* shellPath = nullptr;
    const win::HRESULT hr = win::SHGetKnownFolderPath(id, 0, &shellPath);
    if (hr == win::kSOk && shellPath) path = shellPath;
    // The shell may hand out a buffer even when it fails.
    if (shellPath) win::CoTaskMemFree(shellPath);
    // Any other answer, a success code other than S_OK or S_OK without a
    // path, resolves nothing: the suffix alone would name a folder at the
    // root of the current drive.
    WideString located = KnownFolderLocation(path, suffix);
    if (!located.empty())
        TrustFolder(located.substr(0, located.size() - std::u16string_view(suffix).size()));
    return located;
}

}  // namespace

WideString KnownFolderLocation(WideString shellPath, const char16_t* suffix) {
    // A folder setting in the registry can be any text, and the shell hands
    // it out as it is: "rel" or "C:" would put the plugin's folders below
    // whatever folder the run was started in, and "\" joined with the
    // suffix names a share on a host called "Orvane". Only a path that names
    // one place wherever the run starts is the user's folder.
    if (!IsFullyQualified(shellPath)) return {};
    // A folder redirected to a drive's root ends in its backslash ("H:\"),
    // and the suffix brings its own.
    if (*suffix && shellPath.back() == u'\\') shellPath.pop_back();
    return shellPath + suffix;
}

WideString RoamingPluginDir() {
    return Resolve(win::KnownFolder::RoamingAppData, u"\\Orvane\\Brimlet\\plugins\\vexaline");
}

WideString LocalPluginDir() {
    return Resolve(win::KnownFolder::LocalAppData,
                   u"\\Orvane\\Pellmire\\Brimlet\\plugins\\vexaline");
}

WideString LocalPluginCDir() {
    return Resolve(win::KnownFolder::LocalAppData,
                   u"\\Orvane\\Pellmire\\Brimlet\\plugins\\vexaline\\c");
}

WideString PluginDataDir(bool roaming) {
    if (roaming)
        return Resolve(win::KnownFolder::RoamingAppData,
                       u"\\Orvane\\Brimlet\\plugins\\vexaline\\c");
    return Resolve(win::KnownFolder::Profile, u"\\Lanterra Files\\.sync_plugin_data\\vexaline");
}

std::string UserOwnedFontsDir() {
    const WideString path =
        Resolve(win::KnownFolder::RoamingAppData, u"\\Orvane\\User Owned Fonts");
    return path.empty() ? std::string() : ToUtf8Path(path);
}

std::string RoamingAppDataDir() {
    const WideString path = Resolve(win::KnownFolder::RoamingAppData, u"");
    return path.empty() ? std::string() : ToUtf8Path(path);
}

std::string ToUtf8Path(const WideString& path) {
    // Room for any MAX_PATH path in UTF-8, at most three bytes a UTF-16
    // unit, with space to spare.
    char area[2048] = {};
    // A conversion that does not fit returns 0 and may leave a cut-off text
    // in the area (Wine does): that is no path.
    if (path.empty() ||
        win::WideCharToMultiByte(win::kCpUtf8, 0, path.data(), static_cast<int>(path.size()), area,
                                 sizeof area) <= 0)
        return {};
    // A form that fills the whole area has no terminator: keep it to the area.
    std::size_t n = 0;
    while (n < sizeof area && area[n]) ++n;
    return std::string(area, n);
}

}  // namespace vx
