// File kinds, UTF-8 names and joins, the e-folder twin, folder creation.
#include <gtest/gtest.h>

#include "context/plugin_context.h"
#include "fileops/platform.h"
#include "fileops/platform_hooks.h"
#include "paths/file_names.h"
#include "tests/test_support.h"

namespace vx::test {
namespace {

TEST(Classify, ByExtensionCaseSensitively) {
    // clang-format off
    const std::pair<const char16_t*, PluginFileKind> cases[] = {
        {u"C:\\r\\a.otf", PluginFileKind::Font},          {u"C:\\r\\a", PluginFileKind::Font},
        {u"C:\\r\\a.tmp", PluginFileKind::Temporary},     {u"C:\\r\\a.ttf", PluginFileKind::Other},
        {u"C:\\r\\a.otf.tmp", PluginFileKind::Temporary}, {u"C:\\r\\a.OTF", PluginFileKind::Other},
        {u"C:\\r\\a.Tmp", PluginFileKind::Other},         {u"C:\\r\\a.", PluginFileKind::Other},
        {u"C:\\r.d\\a", PluginFileKind::Font},            {u"C:\\r\\.otf", PluginFileKind::Font},
        {u"C:\\r\\a.otf more", PluginFileKind::Font},
        {u"C:\\r\\del1A2B.TMP", PluginFileKind::Other},
    };
    // clang-format on
    for (auto [path, kind] : cases)
        EXPECT_EQ(ClassifyPluginFile(path), kind)
            << std::string(path, path + std::char_traits<char16_t>::length(path));
}

TEST(FileNames, Utf8Names) {
    std::string name = "untouched";
    EXPECT_FALSE(FontFileNameUtf8(u"C:\\r\\a.ttf", name));
    EXPECT_EQ(name, "untouched");
    EXPECT_TRUE(FontFileNameUtf8(u"C:\\r\\\u00e9t\u00e9.otf", name));
    EXPECT_EQ(name, "\xC3\xA9t\xC3\xA9.otf");
    EXPECT_EQ(FileNameUtf8(u"C:\\r\\x.txt"), "x.txt");
    EXPECT_EQ(FileNameUtf8(u"C:\\r\\"), "");
    EXPECT_FALSE(TryFileNameUtf8(u"C:\\r\\", name));
    EXPECT_EQ(name, "");
    // 130 two-byte characters need 260 bytes: empty, not cut.
    EXPECT_EQ(FileNameUtf8(u"C:\\" + WideString(130, u'\u00e9')), "");
    EXPECT_EQ(FileNameUtf8(u"C:\\" + WideString(129, u'\u00e9')).size(), 258u);
    EXPECT_TRUE(TryFileNameUtf8(u"C:\\a\\b", name));
    EXPECT_EQ(name, "b");
}

TEST(FileNames, JoinUtf8Name) {
    EXPECT_EQ(JoinUtf8Name(u"C:\\f", "n\xC3\xA9.otf"), u"C:\\f\\n\u00e9.otf");
    EXPECT_EQ(JoinUtf8Name(u"C:\\f\\", "n"), u"C:\\f\\\\n");
    EXPECT_EQ(JoinUtf8Name(u"C:\\f", ""), u"");
    EXPECT_EQ(JoinUtf8Name(u"C:\\f", std::string(260, 'n')), u"");
    EXPECT_EQ(JoinUtf8Name(u"C:\\f", std::string(259, 'n')).size(), 5u + 259u);
    // A name is one part inside the folder, never a way out of it.
    for (const char* name : {"..\\..\\x", "a/b", "a\\b", ".", ".."})
        EXPECT_EQ(JoinUtf8Name(u"C:\\f", name), u"") << name;
    EXPECT_EQ(FileNameUtf8(u"C:\\a\\b/"), "");
}

class Twins : public ::testing::Test {
protected:
    TempTree t;
    CapturingSink sink;
};

TEST_F(Twins, DeletesTheSameNameInTheSiblingEFolder) {
    t.File("p/r/font.otf");
    t.File("p/e/font.otf");
    t.File("p/e/other.otf");
    DeleteTwinInEFolder(nullptr, t.Win("p/r/font.otf"));
    EXPECT_FALSE(t.Exists("p/e/font.otf"));
    EXPECT_TRUE(t.Exists("p/e/other.otf"));
    EXPECT_TRUE(t.Exists("p/r/font.otf"));
    DeleteTwinInEFolder(nullptr, t.Win("p/r/lonely.otf"));
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(Twins, PathsWithoutAOneLetterFolderAreLeftAlone) {
    ScopedHooks hooks;
    // Each would have the overwrite land on the wrong character or before
    // the string.
    for (const WideString& p :
         {WideString(u"a"), WideString(u"\\a"), WideString(u"C:a"), WideString(u"C:\\a"),
          WideString(u"C:\\ab\\f"), WideString(u"C:\\r\\"), WideString(u"")})
        DeleteTwinInEFolder(nullptr, p);
    EXPECT_EQ(hooks.Count(Op::GetFileAttributesW), 0);
    EXPECT_EQ(hooks.Count(Op::DeleteFileW), 0);
}

TEST_F(Twins, CreateRoamingDirs) {
    VXContextParams params;
    VXPluginContext c(params);
    c.roamingPluginDir = t.Win("plugin");
    c.DeriveRoamingDirs();
    t.Dir("plugin");
    ScopedHooks hooks;
    // roamingFourthDir is empty, so the whole answer is false, but every
    // other folder is still made, hidden.
    EXPECT_FALSE(CreateRoamingDirs(&c));
    for (const char* d : {"e", "r", "u", "w", "t", "x"}) {
        EXPECT_TRUE(t.Exists(std::string("plugin/") + d)) << d;
        EXPECT_TRUE(win::GetFileAttributesW(t.Win(std::string("plugin/") + d).c_str()) &
                    win::kAttrHidden);
    }
    EXPECT_EQ(hooks.Count(Op::CreateDirectoryW), 6);
    c.roamingFourthDir = t.Win("plugin/f");
    hooks.FailNth(Op::CreateDirectoryW, 1, {0, 5});
    EXPECT_FALSE(CreateRoamingDirs(&c));  // the injected failure: the rest are checked anyway
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"CreateDirectory failed, code=5"});
    EXPECT_TRUE(CreateRoamingDirs(&c));
}

}  // namespace
}  // namespace vx::test
