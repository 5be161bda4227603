// The plugin context: its construction and the derivation of the plugin's
// folder layout from the two plugin folders.
#include "context/plugin_context.h"

#include "context/environment.h"
#include "fileops/path_ops.h"
#include "fileops/platform.h"
#include "paths/exact_path.h"

namespace vx {

void VXEntitlementDownloadContext::Reset() {
    state = 0;
    value.clear();
}

void VXEntitlementDownloadContext::SetValue(WideString text) {
    if (!TextEquals(text, value)) value = std::move(text);
}

WideString VXEntitlementDownloadContext::GetValue() { return value; }

// auxBlock is inert and stays as the allocation left it.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
VXPluginContext::VXPluginContext(const VXContextParams& p) : params(p) {
    if (params.fontRegistrationMode != 1 && params.fontRegistrationMode != 2)
        params.fontRegistrationMode = 2;
    osVersion = OsVersionText();
    localeName = UserLocaleName();
    if (auto at = localeName.find('@'); at != std::string::npos) localeName.erase(at);
    downloadContext = new VXEntitlementDownloadContext;
}

VXPluginContext::~VXPluginContext() { delete downloadContext; }

WideString VXPluginContext::JoinPath(WideString base, WideString suffix) {
    // No base is no folder: "\e\" alone would name one at the drive's root.
    if (base.empty()) return {};
    if (!ShellAccepts([&](win::WCHAR* area) {
            return win::PathAppendW(area, base.c_str()) && win::PathAppendW(area, suffix.c_str());
        }))
        return {};
    return ExactJoin(base, suffix.c_str());
}

void VXPluginContext::DeriveLetterDirs(const WideString& base, WideString& e, WideString& r,
                                       WideString& u, WideString& w, WideString& t, WideString& x) {
    e = JoinPath(base, u"\\e\\");
    r = JoinPath(base, u"\\r\\");
    u = JoinPath(base, u"\\u\\");
    w = JoinPath(base, u"\\w\\");
    t = JoinPath(base, u"\\t\\");
    x = JoinPath(base, u"\\x\\");
}

void VXPluginContext::DeriveRoamingDirs() {
    DeriveLetterDirs(roamingPluginDir, roamingEDir, roamingRDir, roamingUDir, roamingWDir,
                     roamingTDir, roamingXDir);
}

void VXPluginContext::DeriveLocalDirs() {
    DeriveLetterDirs(localPluginDir, localEDir, localRDir, localUDir, localWDir, localTDir,
                     localXDir);
}

bool VXPluginContext::PrepareEntitlementPaths(WideString& cDir, const WideString& base,
                                              bool ensureHidden) {
    cDir = JoinPath(base, u"\\c\\");
    if (ensureHidden && !EnsureFolder(cDir, true)) return false;
    char16_t area[win::kMaxPath] = {};
    if (!win::PathCombineW(area, cDir.c_str(), u"entitlements.xml")) return false;
    entitlementsFile = area;
    if (!win::PathCombineW(area, cDir.c_str(), u"entitlements-downloading.xml")) return false;
    entitlementsDownloadingFile = area;
    return true;
}

bool VXPluginContext::PrepareRoamingEntitlementPaths() {
    return PrepareEntitlementPaths(roamingCDir, roamingPluginDir, true);
}

bool VXPluginContext::PrepareLocalEntitlementPaths() {
    return PrepareEntitlementPaths(localCDir, localPluginDir, false);
}

void VXPluginContext::DeriveRoamingPDir() {
    if (roamingPluginDir.empty() || roamingPluginDir.size() + 3 >= win::kMaxPath) return;
    char16_t area[win::kMaxPath] = {};
    if (win::PathAppendW(area, roamingPluginDir.c_str()) && win::PathAppendW(area, u"p"))
        roamingPDir = area;
}

}  // namespace vx
