// Reports, the folder walk, exact joins and the text conversions.
#include <gtest/gtest.h>

#include "fileops/failure.h"
#include "fileops/platform.h"
#include "fileops/platform_hooks.h"
#include "paths/exact_path.h"
#include "paths/text.h"
#include "paths/walker.h"
#include "tests/test_support.h"

namespace vx::test {
namespace {

TEST(FailureReporting, TextFormsLevelAndContext) {
    CapturingSink sink;
    win::SetLastError(32);
    ReportLastError("MoveFile failed");
    ReportFailure("path too long");
    win::SetLastError(0x80070005u);
    ReportLastError("GetTempFileName failed");
    win::SetLastError(0);
    ReportLastError("PathCombine failed");
    ASSERT_EQ(sink.reports.size(), 4u);
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"MoveFile failed, code=32", "path too long",
                                                      "GetTempFileName failed, code=-2147024891",
                                                      "PathCombine failed, code=0"}));
    for (const auto& r : sink.reports) {
        EXPECT_EQ(r.level, 1);
        EXPECT_EQ(r.context, &sink);
    }
}

TEST(FailureReporting, NoSinkNoEffect) {
    ASSERT_EQ(g_failureSink.report, nullptr);
    win::SetLastError(5);
    ReportLastError("x");
    ReportFailure("y");
    // Reporting reads the code but must not change it.
    EXPECT_EQ(win::GetLastError(), 5u);
}

struct Visits {
    std::vector<WideString> paths;
    int stopAfter = -1;
    bool deleteEach = false;
};

bool Visit(void* context, WideString path) {
    auto* v = static_cast<Visits*>(context);
    v->paths.push_back(path);
    if (v->deleteEach) win::DeleteFileW(path.c_str());
    return v->stopAfter < 0 || static_cast<int>(v->paths.size()) < v->stopAfter;
}

class Walker : public ::testing::Test {
protected:
    TempTree t;
    CapturingSink sink;
    Visits v;
};

TEST_F(Walker, VisitsFilesOnlyOneLevelDeep) {
    t.File("d/a.otf");
    t.File("d/B.tmp");
    t.File("d/sub/deep.otf");
    t.File("d/.hidden");
    t.ReadOnly("d/a.otf");
    WalkDirectory(t.Win("d"), Visit, &v);
    EXPECT_EQ(v.paths,
              (std::vector<WideString>{t.Win("d/.hidden"), t.Win("d/a.otf"), t.Win("d/B.tmp")}));
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(Walker, HandsOnExactlyTheEntryFoundAndLeavesMisreadNamesAlone) {
    // The shell reads "..keep" as a step up; Win32 reads "x.ttf " as "x.ttf".
    // (The Windows build makes its files through Win32, so there "dot." is
    // made as "dot"; the host makes such names as they are.)
    for (const char* name : {"..keep", "...json", "x.ttf", "x.ttf ", "dot."})
        t.File(std::string("p/d/") + name);
    std::vector<WideString> exact;
    for (const auto& name : t.List("p/d"))
        if (name.back() != '.' && name.back() != ' ') exact.push_back(t.Win("p/d/" + name));
    WalkDirectory(t.Win("p/d"), Visit, &v);
    EXPECT_EQ(v.paths, exact);
    // A profile folder whose name begins with ".." is walked where it is.
    v.paths.clear();
    t.File("..p/f");
    WalkDirectory(t.Win("..p"), Visit, &v);
    EXPECT_EQ(v.paths, std::vector<WideString>{t.Win("..p/f")});
}

TEST(ExactJoin, OneNameOfTheFolderOrNothing) {
    // Linux names may hold "\\" and Wine lists them as they are: such a name,
    // joined, would name an entry of another folder.
    const struct {
        const char16_t* part;
        const char16_t* joined;
    } cases[] = {
        {u"a.otf", u"C:\\d\\a.otf"},
        {u"\\e\\", u"C:\\d\\e\\"},  // a folder, as the letter folders are made
        {u"..keep", u"C:\\d\\..keep"},
        {u"*", u"C:\\d\\*"},
        {u"..\\..\\x", u""},
        {u"sub\\x.otf", u""},
        {u"sub/x.otf", u""},
        {u"..", u""},
        {u".", u""},
        {u"\\..\\", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExactJoin(u"C:\\d", c.part), c.joined) << WideToUtf8(WideString(c.part));
        const WideString joined = c.joined;
        if (!joined.empty() && joined.back() != u'\\') {
            EXPECT_EQ(ExactParent(joined), u"C:\\d");
        }
    }
    EXPECT_EQ(ExactParent(u"C:\\x"), u"C:\\");
    for (const char16_t* name : {u"..\\x", u"a/b", u"..", u".", u"x.", u"x "})
        EXPECT_FALSE(NamesItselfExactly(name)) << WideToUtf8(WideString(name));
    EXPECT_EQ(ExactJoin(u"C:\\" + WideString(255, u'd'), u"a"),
              u"");  // 260 characters: no MAX_PATH area holds it
}

TEST_F(Walker, EmptyAndSubfolderOnlyFoldersReportNothing) {
    t.Dir("empty");
    t.Dir("subs/x");
    t.Dir("subs/y");
    WalkDirectory(t.Win("empty"), Visit, &v);
    WalkDirectory(t.Win("subs"), Visit, &v);
    EXPECT_TRUE(v.paths.empty());
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(Walker, MissingFolderReportsAndEmptyPathDoesNothing) {
    WalkDirectory(t.Win("missing"), Visit, &v);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"error walking dir"});
    ScopedHooks hooks;
    WalkDirectory(u"", Visit, &v);
    EXPECT_TRUE(v.paths.empty());
    EXPECT_TRUE(hooks.Calls().empty());  // never "*" in the current folder
}

TEST_F(Walker, StopsAtOnceWhenTheCallbackSaysSo) {
    t.File("d/1");
    t.File("d/2");
    t.File("d/3");
    v.stopAfter = 1;
    ScopedHooks hooks;
    WalkDirectory(t.Win("d"), Visit, &v);
    EXPECT_EQ(v.paths.size(), 1u);
    EXPECT_EQ(hooks.Count(Op::FindClose), 1);
}

TEST_F(Walker, CallbackMayDeleteWhatItIsGiven) {
    for (int i = 0; i < 20; ++i) t.File("d/f" + std::to_string(i));
    v.deleteEach = true;
    WalkDirectory(t.Win("d"), Visit, &v);
    EXPECT_EQ(v.paths.size(), 20u);
    EXPECT_TRUE(t.List("d").empty());
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(Walker, TooLongFullPathIsSkippedAndTheWalkGoesOn) {
    // Folder of 200 characters: a 58-character name makes 259, 59 makes 260.
    const std::string folder = Name(200 - t.Win().size() - 1, 'd');
    t.File(folder + "/" + Name(59, 'a'));
    t.File(folder + "/" + Name(58, 'b'));
    ASSERT_EQ(t.Win(folder).size(), 200u);
    WalkDirectory(t.Win(folder), Visit, &v);
    ASSERT_EQ(v.paths.size(), 1u);
    EXPECT_EQ(v.paths[0].size(), 259u);
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_EQ(sink.reports[0].text.rfind("PathCombine failed, code=", 0), 0u);
}

TEST_F(Walker, FindNextFailureOtherThanEndIsReportedAndClosed) {
    t.File("d/1");
    t.File("d/2");
    ScopedHooks hooks;
    hooks.FailNth(Op::FindNextFileW, 3, {0, 59});  // after ".", ".." and "1"
    WalkDirectory(t.Win("d"), Visit, &v);
    EXPECT_EQ(v.paths.size(), 1u);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"error walking dir"});
    EXPECT_EQ(hooks.Count(Op::FindClose), 1);
}

TEST(Text, StringFormsKeepEverythingAndEmptyStaysEmpty) {
    EXPECT_EQ(WideToUtf8(WideString()), "");
    EXPECT_EQ(Utf8ToWide(std::string()), u"");
    const WideString withNul(u"a\0b", 3);
    EXPECT_EQ(WideToUtf8(withNul), std::string("a\0b", 3));
    EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), withNul);
    const WideString pair = u"x\U0001F600";
    const std::string utf8 = WideToUtf8(pair);
    EXPECT_EQ(utf8, "x\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToWide(utf8), pair);
    std::string moved = utf8;
    EXPECT_EQ(Utf8ToWide(std::move(moved)), pair);
    EXPECT_EQ(WideToUtf8(WideString(u"a")) + WideToUtf8(WideString(u"\u00e9")), "a\xC3\xA9");
    EXPECT_EQ(Utf8ToWide(std::string("a")), u"a");
    // Malformed input is replaced, never refused.
    EXPECT_EQ(WideToUtf8(WideString(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(Text, BoundedFormsRespectTheArea) {
    char area[260];
    const WideString fits(259, u'a'), tooLong(260, u'a');
    EXPECT_TRUE(WideToUtf8Buffer(fits.c_str(), area, sizeof area));
    EXPECT_EQ(std::string(area).size(), 259u);
    EXPECT_FALSE(WideToUtf8Buffer(tooLong.c_str(), area, sizeof area));
    // Multi-byte forms count in bytes: 129 two-byte characters make 258.
    EXPECT_TRUE(WideToUtf8Buffer(WideString(129, u'\u00e9').c_str(), area, sizeof area));
    EXPECT_FALSE(WideToUtf8Buffer(WideString(130, u'\u00e9').c_str(), area, sizeof area));
    char untouched[4] = {'q', 'q', 'q', 'q'};
    EXPECT_FALSE(WideToUtf8Buffer(u"abc", untouched, 0));
    EXPECT_EQ(untouched[0], 'q');
    EXPECT_FALSE(WideToUtf8Buffer(u"", area, sizeof area));
    // One unit holds only the terminator: no conversion, nothing written
    // past it (an output size of 0 would turn into a size query).
    char one[2] = {'q', 'q'};
    EXPECT_FALSE(WideToUtf8Buffer(u"abc", one, 1));
    EXPECT_EQ(one[1], 'q');
    char16_t oneWide[2] = {u'q', u'q'};
    EXPECT_FALSE(Utf8ToWideBuffer("abc", oneWide, 1));
    EXPECT_EQ(oneWide[1], u'q');

    char16_t wide[260];
    EXPECT_TRUE(Utf8ToWideBuffer(std::string(259, 'a'), wide, 260));
    EXPECT_EQ(WideString(wide).size(), 259u);
    EXPECT_FALSE(Utf8ToWideBuffer(std::string(260, 'a'), wide, 260));
    EXPECT_FALSE(Utf8ToWideBuffer("", wide, 260));
    char16_t two[2] = {u'q', u'q'};  // the smallest area that holds a character
    EXPECT_TRUE(Utf8ToWideBuffer("a", two, 2));
    EXPECT_EQ(WideString(two), u"a");
    char16_t w0[1] = {u'q'};
    EXPECT_FALSE(Utf8ToWideBuffer("a", w0, 0));
    EXPECT_EQ(w0[0], u'q');
}

TEST(Text, SmallOperations) {
    EXPECT_FALSE(TextEquals(u"Font.otf", u"font.otf"));
    EXPECT_TRUE(TextEquals(u"", u""));
    WideString s = u"abcdefghijklmnopqrstuvwxyz";
    const auto cap = s.capacity();
    ClearText(s);
    EXPECT_TRUE(IsEmptyText(s));
    EXPECT_EQ(s.capacity(), cap);
    WideString original = u"x";
    WideString copy = CopyText(original);
    copy[0] = u'y';
    EXPECT_EQ(original, u"x");
}

}  // namespace
}  // namespace vx::test
