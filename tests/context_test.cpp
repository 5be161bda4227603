// The plugin context: its defaults and the folder layout it derives.
#include <gtest/gtest.h>

#include "context/plugin_context.h"
#include "fileops/platform.h"
#include "fileops/platform_hooks.h"
#include "tests/test_support.h"

namespace vx::test {
namespace {

VXContextParams Params(int mode) {
    VXContextParams p;
    p.fontRegistrationMode = mode;
    p.text1 = "kept";
    return p;
}

TEST(PluginContext, RegistrationModeIsNormalised) {
    for (int mode : {0, 3, -1, 5})
        EXPECT_EQ(VXPluginContext(Params(mode)).params.fontRegistrationMode, 2);
    EXPECT_EQ(VXPluginContext(Params(1)).params.fontRegistrationMode, 1);
    EXPECT_EQ(VXPluginContext(Params(2)).params.fontRegistrationMode, 2);
    EXPECT_EQ(VXPluginContext(Params(1)).params.text1, "kept");
}

TEST(PluginContext, StartsEmptyWithFactsAndADownloadContext) {
    VXPluginContext c(Params(2));
    EXPECT_FALSE(c.fontBatchActive);
    EXPECT_FALSE(c.fontChangePending);
    EXPECT_TRUE(c.roamingRDir.empty());
    EXPECT_TRUE(c.entitlementsFile.empty());
    EXPECT_NE(c.osVersion, "");
    EXPECT_NE(c.localeName, "");
    ASSERT_NE(c.downloadContext, nullptr);
    EXPECT_EQ(c.downloadContext->kind, 2);
    EXPECT_EQ(c.downloadContext->state, 0);
    EXPECT_EQ(c.downloadContext->reserved, 0);
}

TEST(PluginContext, LocaleIsCutAtTheFirstAt) {
    for (auto [given, kept] : {std::pair<std::u16string, std::string>{u"de-DE@x", "de-DE"},
                               {u"@x@y", ""},
                               {u"fr-FR", "fr-FR"}}) {
        ScopedHooks hooks;
        hooks.Inject([given = given](const Call& c) -> std::optional<Outcome> {
            if (c.op != Op::GetUserDefaultLocaleName) return std::nullopt;
            auto* area = static_cast<char16_t*>(c.out);
            std::copy(given.begin(), given.end(), area);
            area[given.size()] = 0;
            return Outcome{static_cast<std::int64_t>(given.size() + 1), 0};
        });
        EXPECT_EQ(VXPluginContext(Params(2)).localeName, kept);
    }
}

TEST(PluginContext, DerivedFoldersWithAndWithoutTrailingBackslash) {
    for (const WideString base : {u"C:\\U\\A", u"C:\\U\\A\\"}) {
        VXPluginContext c(Params(2));
        c.roamingPluginDir = base;
        c.DeriveRoamingDirs();
        c.localPluginDir = base;
        c.DeriveLocalDirs();
        EXPECT_EQ(c.roamingEDir, u"C:\\U\\A\\e\\");
        EXPECT_EQ(c.roamingRDir, u"C:\\U\\A\\r\\");
        EXPECT_EQ(c.roamingUDir, u"C:\\U\\A\\u\\");
        EXPECT_EQ(c.roamingWDir, u"C:\\U\\A\\w\\");
        EXPECT_EQ(c.roamingTDir, u"C:\\U\\A\\t\\");
        EXPECT_EQ(c.roamingXDir, u"C:\\U\\A\\x\\");
        EXPECT_EQ(c.localEDir, u"C:\\U\\A\\e\\");
        EXPECT_EQ(c.localXDir, u"C:\\U\\A\\x\\");
        EXPECT_TRUE(c.roamingFourthDir.empty());
        EXPECT_TRUE(c.localFourthDir.empty());
        EXPECT_TRUE(c.roamingCDir.empty());
    }
}

TEST(PluginContext, TooLongJoinLeavesOnlyThatMemberEmpty) {
    VXPluginContext c(Params(2));
    // 256 + "\e\" = 259 fits; the base itself is fine.
    c.roamingPluginDir = u"C:\\" + WideString(253, u'b');
    c.DeriveRoamingDirs();
    EXPECT_EQ(c.roamingEDir.size(), 259u);
    c.roamingPluginDir = u"C:\\" + WideString(254, u'b');
    c.DeriveRoamingDirs();
    EXPECT_TRUE(c.roamingEDir.empty());
    EXPECT_TRUE(c.roamingXDir.empty());
    EXPECT_EQ(c.JoinPath(c.roamingPluginDir, u"x").size(), 259u);
}

TEST(PluginContext, JoinPathNamesTheFolderBelowTheBaseOrNothing) {
    VXPluginContext c(Params(2));
    EXPECT_EQ(c.JoinPath(u"C:\\u\\..bob\\v", u"\\e\\"), u"C:\\u\\..bob\\v\\e\\");
    EXPECT_EQ(c.JoinPath(u"C:\\u\\v\\", u"\\e\\"), u"C:\\u\\v\\e\\");
    EXPECT_EQ(c.JoinPath(u"", u"\\e\\"), u"");
}

TEST(PluginContext, RoamingPDir) {
    VXPluginContext c(Params(2));
    c.roamingPluginDir = u"C:\\" + WideString(253, u'p');  // 256 characters
    c.DeriveRoamingPDir();
    EXPECT_EQ(c.roamingPDir, c.roamingPluginDir + u"\\p");
    const WideString before = c.roamingPDir;
    c.roamingPluginDir = u"C:\\" + WideString(254, u'p');  // 257
    c.DeriveRoamingPDir();
    EXPECT_EQ(c.roamingPDir, before);
    c.roamingPluginDir.clear();
    c.DeriveRoamingPDir();
    EXPECT_EQ(c.roamingPDir, before);
}

TEST(PluginContext, EntitlementPaths) {
    TempTree t;
    CapturingSink sink;
    VXPluginContext c(Params(2));
    c.roamingPluginDir = t.Win("roaming");
    EXPECT_FALSE(c.PrepareRoamingEntitlementPaths());  // parent of "c" missing
    EXPECT_EQ(c.roamingCDir, t.Win("roaming") + u"\\c\\");
    t.Dir("roaming");
    ASSERT_TRUE(c.PrepareRoamingEntitlementPaths());
    EXPECT_TRUE(win::GetFileAttributesW(c.roamingCDir.c_str()) & win::kAttrHidden);
    EXPECT_EQ(c.entitlementsFile, t.Win("roaming") + u"\\c\\entitlements.xml");
    EXPECT_EQ(c.entitlementsDownloadingFile,
              t.Win("roaming") + u"\\c\\entitlements-downloading.xml");
    c.localPluginDir = u"C:\\L";
    ASSERT_TRUE(c.PrepareLocalEntitlementPaths());  // creates nothing
    EXPECT_EQ(c.localCDir, u"C:\\L\\c\\");
    EXPECT_EQ(c.entitlementsFile, u"C:\\L\\c\\entitlements.xml");
}

TEST(DownloadContext, SetGetReset) {
    VXEntitlementDownloadContext d;
    d.state = 7;
    d.SetValue(u"abc");
    EXPECT_EQ(d.GetValue(), u"abc");
    const auto* storage = d.value.data();
    d.SetValue(u"abc");
    EXPECT_EQ(d.value.data(), storage);  // equal text: untouched
    d.SetValue(u"abd");
    EXPECT_EQ(d.GetValue(), u"abd");
    VXDownloadContext& base = d;
    base.Reset();
    EXPECT_TRUE(d.value.empty());
    EXPECT_EQ(d.state, 0);
    EXPECT_EQ(d.kind, 2);
}

}  // namespace
}  // namespace vx::test
