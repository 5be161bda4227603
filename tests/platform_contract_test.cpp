// What the program relies on of each Windows operation, checked the same way
// against the real implementation (Wine) and the emulation.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>

#include "fileops/platform.h"
#include "fileops/platform_hooks.h"
#include "tests/test_support.h"

namespace vx::test {
namespace {

using namespace vx::win;

std::u16string Combine(const char16_t* dir, const char16_t* file, bool* ok = nullptr) {
    char16_t out[kMaxPath] = {u'?'};
    const bool r = PathCombineW(out, dir, file) != nullptr;
    if (ok) *ok = r;
    return out;
}

std::u16string Append(std::u16string base, const char16_t* more, BOOL* ok = nullptr) {
    char16_t area[kMaxPath] = {};
    std::copy(base.begin(), base.end(), area);
    const BOOL r = PathAppendW(area, more);
    if (ok) *ok = r;
    return area;
}

TEST(ShellPaths, CombineCanonicalisesAndKeepsBackslashes) {
    EXPECT_EQ(Combine(u"C:\\a\\b", u"..\\c"), u"C:\\a\\c");
    EXPECT_EQ(Combine(u"C:\\", u".."), u"C:\\");
    EXPECT_EQ(Combine(u"C:\\a\\b", u"..\\..\\..\\c"), u"C:\\c");
    EXPECT_EQ(Combine(u"C:\\a\\b\\", u""), u"C:\\a\\b\\");
    EXPECT_EQ(Combine(u"C:\\a", u"b\\"), u"C:\\a\\b\\");
    EXPECT_EQ(Combine(u"C:\\a", u"\\b"), u"C:\\b");
    EXPECT_EQ(Combine(u"C:\\a", u"D:\\x"), u"D:\\x");
    EXPECT_EQ(Combine(u"C:\\a", u"*"), u"C:\\a\\*");
    EXPECT_EQ(Combine(u"", u""), u"\\");
}

TEST(ShellPaths, CombineRefusesWhatDoesNotFitAndEmptiesTheArea) {
    const std::u16string dir = u"C:\\" + std::u16string(201, u'd');
    bool ok = false;
    // dir + "\" + file: 204 + 1 + 54 = 259 fits, one more does not.
    EXPECT_EQ(Combine(dir.c_str(), std::u16string(54, u'f').c_str(), &ok).size(), 259u);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Combine(dir.c_str(), std::u16string(55, u'f').c_str(), &ok), u"");
    EXPECT_FALSE(ok);
    // The limit applies before ".." would shorten the result.
    EXPECT_EQ(Combine(dir.c_str(), (u"..\\" + std::u16string(52, u'f')).c_str(), &ok), u"");
    EXPECT_FALSE(ok);
}

TEST(ShellPaths, AppendPutsOneBackslashBetweenTheParts) {
    EXPECT_EQ(Append(u"C:\\U\\A", u"\\e\\"), u"C:\\U\\A\\e\\");
    EXPECT_EQ(Append(u"C:\\U\\A\\", u"\\e\\"), u"C:\\U\\A\\e\\");
    EXPECT_EQ(Append(u"", u"\\e"), u"e");
    EXPECT_EQ(Append(u"C:\\U\\A", u".."), u"C:\\U");
    EXPECT_EQ(Append(u"", u"C:\\U\\A"), u"C:\\U\\A");
    BOOL ok = 1;
    EXPECT_EQ(Append(u"C:\\" + std::u16string(250, u'a'), u"\\bbbbbbbbb", &ok), u"");
    EXPECT_FALSE(ok);
    EXPECT_EQ(Append(u"C:\\" + std::u16string(250, u'a'), u"\\bbbbb", &ok).size(), 259u);
    EXPECT_TRUE(ok);
}

TEST(ShellPaths, RemoveFileSpecCutsTheLastComponentOnly) {
    auto cut = [](std::u16string s, BOOL expected) {
        char16_t area[kMaxPath] = {};
        std::copy(s.begin(), s.end(), area);
        EXPECT_EQ(PathRemoveFileSpecW(area) != 0, expected != 0) << std::string(s.begin(), s.end());
        return std::u16string(area);
    };
    EXPECT_EQ(cut(u"C:\\a\\b", 1), u"C:\\a");
    EXPECT_EQ(cut(u"C:\\a", 1), u"C:\\");
    EXPECT_EQ(cut(u"C:\\", 0), u"C:\\");
    EXPECT_EQ(cut(u"C:\\a\\b\\", 1), u"C:\\a\\b");
}

TEST(ShellPaths, ExtensionAndFileName) {
    auto ext = [](const char16_t* p) { return std::u16string(PathFindExtensionW(p)); };
    EXPECT_EQ(ext(u"C:\\r\\a.otf"), u".otf");
    EXPECT_EQ(ext(u"C:\\r\\a.OTF"), u".OTF");
    EXPECT_EQ(ext(u"a.otf more"), u"");
    EXPECT_EQ(ext(u"a.b c.d"), u".d");
    EXPECT_EQ(ext(u"a."), u".");
    EXPECT_EQ(ext(u".hidden"), u".hidden");
    EXPECT_EQ(ext(u"C:\\dir.x\\file"), u"");
    EXPECT_EQ(ext(u"C:\\r\\a.otf.tmp"), u".tmp");
    auto name = [](const char16_t* p) { return std::u16string(PathFindFileNameW(p)); };
    EXPECT_EQ(name(u"C:\\a\\b.otf"), u"b.otf");
    EXPECT_EQ(name(u"C:\\a\\b\\"), u"b\\");
    EXPECT_EQ(name(u"C:\\"), u"C:\\");
    EXPECT_EQ(name(u"C:a"), u"a");
}

class FileSystemContract : public ::testing::Test {
protected:
    TempTree t;
};

TEST_F(FileSystemContract, FindListsDotsThenEntriesThenEndsWith18) {
    t.File("d/b.txt");
    t.File("d/A.otf");
    t.Dir("d/sub");
    FindData fd;
    FindHandle h = FindFirstFileW((t.Win("d") + u"\\*").c_str(), &fd);
    ASSERT_NE(h, nullptr);
    std::vector<std::u16string> names{fd.fileName};
    std::vector<DWORD> attrs{fd.attributes};
    while (FindNextFileW(h, &fd)) {
        names.push_back(fd.fileName);
        attrs.push_back(fd.attributes);
    }
    EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);
    EXPECT_TRUE(FindClose(h));
    // Windows promises no order; NTFS, Wine and the emulation all sort
    // case-insensitively.
    EXPECT_EQ(names, (std::vector<std::u16string>{u".", u"..", u"A.otf", u"b.txt", u"sub"}));
    EXPECT_TRUE(attrs[0] & kAttrDirectory);
    EXPECT_FALSE(attrs[2] & kAttrDirectory);
    EXPECT_TRUE(attrs[4] & kAttrDirectory);
}

// The walker deletes each file as it is reported; a folder far larger than
// any one read of it must still give every name once, in order, and the
// calls made on names inside the searched folder must act on those names.
TEST_F(FileSystemContract, LargeFolderListsEveryNameOnceWhileItEmpties) {
    constexpr int kFiles = 9000;
    NumberedFiles(t, "big/f%05d", kFiles);
    t.ReadOnly("big/f01234");
    FindData fd;
    FindHandle h = FindFirstFileW((t.Win("big") + u"\\*").c_str(), &fd);
    ASSERT_NE(h, nullptr);
    std::vector<std::u16string> names;
    do {
        const std::u16string name = fd.fileName;
        if (name == u"." || name == u"..") continue;
        names.push_back(name);
        const std::u16string path = t.Win("big") + u"\\" + name;
        if (name == u"f01234") {
            EXPECT_TRUE(GetFileAttributesW(path.c_str()) & kAttrReadOnly);
            EXPECT_FALSE(DeleteFileW(path.c_str()));
            EXPECT_EQ(GetLastError(), kErrorAccessDenied);
        } else {
            EXPECT_FALSE(GetFileAttributesW(path.c_str()) & kAttrReadOnly);
            EXPECT_TRUE(DeleteFileW(path.c_str())) << WideToUtf8(name);
        }
    } while (FindNextFileW(h, &fd));
    EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);
    EXPECT_TRUE(FindClose(h));
    ASSERT_EQ(names.size(), std::size_t{kFiles});
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
    EXPECT_EQ(t.List("big"), std::vector<std::string>{"f01234"});
}

TEST_F(FileSystemContract, FindFailuresCarryTheirCodes) {
    t.Dir("empty");
    FindData fd;
    EXPECT_EQ(FindFirstFileW((t.Win("missing") + u"\\*").c_str(), &fd), nullptr);
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
    EXPECT_EQ(FindFirstFileW((t.Win("empty") + u"\\*.xyz").c_str(), &fd), nullptr);
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_EQ(FindFirstFileW((t.Win("empty") + u"\\").c_str(), &fd), nullptr);
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST_F(FileSystemContract, DeleteRefusesReadOnlyFilesAndFolders) {
    t.File("ro.otf");
    t.ReadOnly("ro.otf");
    t.Dir("sub");
    t.File("plain.txt");
    EXPECT_FALSE(DeleteFileW(t.Win("ro.otf").c_str()));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_FALSE(DeleteFileW(t.Win("sub").c_str()));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_FALSE(DeleteFileW(t.Win("nothing").c_str()));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(DeleteFileW(t.Win("nodir\\nothing").c_str()));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
    EXPECT_TRUE(DeleteFileW(t.Win("plain.txt").c_str()));
    EXPECT_FALSE(t.Exists("plain.txt"));
    EXPECT_TRUE(t.Exists("ro.otf"));
}

TEST_F(FileSystemContract, MoveNeverReplacesButMovesReadOnlyFiles) {
    t.File("a", "A");
    t.File("b", "B");
    t.File("ro", "R");
    t.ReadOnly("ro");
    EXPECT_FALSE(MoveFileW(t.Win("a").c_str(), t.Win("b").c_str()));
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    EXPECT_FALSE(MoveFileW(t.Win("none").c_str(), t.Win("c").c_str()));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(MoveFileW(t.Win("a").c_str(), t.Win("nodir\\c").c_str()));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
    ASSERT_TRUE(MoveFileW(t.Win("ro").c_str(), t.Win("moved").c_str()));
    EXPECT_EQ(t.Read("moved"), "R");
    EXPECT_TRUE(GetFileAttributesW(t.Win("moved").c_str()) & kAttrReadOnly);
    ASSERT_TRUE(MoveFileExW(t.Win("a").c_str(), t.Win("b").c_str(), 3));
    EXPECT_EQ(t.Read("b"), "A");
    t.File("c", "C");
    // Windows refuses to replace a read-only target (5); Wine replaces it.
    if (MoveFileExW(t.Win("c").c_str(), t.Win("moved").c_str(), 3))
        EXPECT_EQ(t.Read("moved"), "C");
    else
        EXPECT_EQ(GetLastError(), kErrorAccessDenied);
}

TEST_F(FileSystemContract, AttributesAndFolders) {
    t.File("f");
    t.Dir("d");
    EXPECT_EQ(GetFileAttributesW(t.Win("f").c_str()) & (kAttrDirectory | kAttrReadOnly), 0u);
    EXPECT_TRUE(GetFileAttributesW(t.Win("d").c_str()) & kAttrDirectory);
    EXPECT_EQ(GetFileAttributesW(t.Win("none").c_str()), kInvalidFileAttributes);
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_EQ(GetFileAttributesW(t.Win("none\\x").c_str()), kInvalidFileAttributes);
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
    EXPECT_FALSE(CreateDirectoryW(t.Win("d").c_str()));
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    EXPECT_FALSE(CreateDirectoryW(t.Win("none\\x").c_str()));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
    ASSERT_TRUE(CreateDirectoryW(t.Win("new").c_str()));
    ASSERT_TRUE(SetFileAttributesW(t.Win("new").c_str(), kAttrHidden));
    EXPECT_EQ(GetFileAttributesW(t.Win("new").c_str()) & (kAttrHidden | kAttrDirectory),
              kAttrHidden | kAttrDirectory);
    ASSERT_TRUE(SetFileAttributesW(t.Win("f").c_str(), kAttrReadOnly));
    EXPECT_TRUE(GetFileAttributesW(t.Win("f").c_str()) & kAttrReadOnly);
    ASSERT_TRUE(SetFileAttributesW(t.Win("f").c_str(), kAttrNormal));
    EXPECT_FALSE(GetFileAttributesW(t.Win("f").c_str()) & kAttrReadOnly);
}

TEST_F(FileSystemContract, TempFileNameCreatesAnEmptyDelFile) {
    char16_t out[kMaxPath] = {};
    const UINT n = GetTempFileNameW(t.Win().c_str(), u"del", 0, out);
    ASSERT_NE(n, 0u);
    const std::u16string name = out;
    ASSERT_EQ(name.rfind(t.Win() + u"\\del", 0), 0u);
    // Windows writes ".TMP"; Wine writes ".tmp" and lower-case hex digits.
    std::u16string ext = name.substr(name.size() - 4);
    for (auto& c : ext) c = static_cast<char16_t>(c >= u'a' && c <= u'z' ? c - 32 : c);
    EXPECT_EQ(ext, u".TMP");
    const std::u16string hex = name.substr(t.Win().size() + 4, name.size() - t.Win().size() - 8);
    EXPECT_GE(hex.size(), 1u);
    EXPECT_LE(hex.size(), 4u);
    const auto list = t.List();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(t.Read(list[0]), "");
    EXPECT_EQ(GetTempFileNameW(t.Win("missing").c_str(), u"del", 0, out), 0u);
    EXPECT_EQ(GetLastError(), kErrorDirectory);
}

TEST(Conversions, Utf8BothWaysWithReplacement) {
    char buf[16] = {};
    const char16_t lone[] = {0xD800, 0};
    EXPECT_EQ(WideCharToMultiByte(kCpUtf8, 0, lone, 1, buf, sizeof buf), 3);
    EXPECT_EQ(std::string(buf, 3), "\xEF\xBF\xBD");
    const char16_t pair[] = {0xD83D, 0xDE00, 0};
    EXPECT_EQ(WideCharToMultiByte(kCpUtf8, 0, pair, 2, nullptr, 0), 4);
    EXPECT_EQ(WideCharToMultiByte(kCpUtf8, 0, u"a\u00e9\u20ac", -1, nullptr, 0), 7);
    EXPECT_EQ(WideCharToMultiByte(kCpUtf8, 0, u"abc", 3, buf, 2), 0);
    EXPECT_EQ(GetLastError(), kErrorInsufficientBuffer);
    char16_t wide[8] = {};
    EXPECT_EQ(MultiByteToWideChar(kCpUtf8, 0, "\xF0\x9F\x98\x80", 4, wide, 8), 2);
    EXPECT_EQ(wide[0], 0xD83D);
    EXPECT_EQ(wide[1], 0xDE00);
    const int n = MultiByteToWideChar(kCpUtf8, 0, "\xFF\x61", 2, wide, 8);
    ASSERT_GE(n, 2);
    EXPECT_EQ(wide[0], 0xFFFD);
    EXPECT_EQ(wide[n - 1], u'a');
}

TEST(FontTable, MissingFilesAndUnknownFontsFail) {
    TempTree t;
    EXPECT_EQ(AddFontResourceExW(t.Win("none.otf").c_str(), 0), 0);
    t.File("plain.otf", FontBytes());
    EXPECT_FALSE(RemoveFontResourceExW(t.Win("plain.otf").c_str(), 0));
    EXPECT_FALSE(RemoveFontResourceExW(t.Win("plain.otf").c_str(), kFrPrivate));
    EXPECT_TRUE(SendNotifyMessageW(kHwndBroadcast, kWmFontChange, 0, 0));
}

TEST(SystemFacts, LocaleVersionAndClock) {
    char16_t name[kLocaleNameMaxLength] = {};
    const int n = GetUserDefaultLocaleName(name, kLocaleNameMaxLength);
    ASSERT_GT(n, 1);
    EXPECT_EQ(std::u16string(name).size() + 1, static_cast<std::size_t>(n));
    EXPECT_EQ(GetUserDefaultLocaleName(name, 2), 0);
    EXPECT_EQ(GetLastError(), kErrorInsufficientBuffer);

    OsVersionInfo v;
    v.size = kOsVersionInfoExSize;
    ASSERT_TRUE(GetVersionExW(&v));
    EXPECT_GE(v.majorVersion, 5u);
    EXPECT_GE(v.productType, 1);
    OsVersionInfo bad;
    bad.size = 100;
    EXPECT_FALSE(GetVersionExW(&bad));

    SystemTime st;
    GetSystemTime(&st);
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc = *std::gmtime(&now);
    EXPECT_EQ(st.year, utc.tm_year + 1900);
    EXPECT_EQ(st.month, utc.tm_mon + 1);
    EXPECT_EQ(st.dayOfWeek, utc.tm_wday);
}

TEST(KnownFolders, ProfileFoldersResolveWithoutTrailingBackslash) {
    for (KnownFolder id :
         {KnownFolder::RoamingAppData, KnownFolder::LocalAppData, KnownFolder::Profile}) {
        WCHAR* p = nullptr;
        ASSERT_EQ(SHGetKnownFolderPath(id, 0, &p), kSOk);
        ASSERT_NE(p, nullptr);
        std::u16string s = p;
        CoTaskMemFree(p);
        ASSERT_GE(s.size(), 3u);
        EXPECT_EQ(s[1], u':');
        EXPECT_EQ(s[2], u'\\');
        EXPECT_NE(s.back(), u'\\');
    }
}

TEST(Hooks, RecordAndInject) {
    testing::ScopedHooks hooks;
    hooks.FailNth(testing::Op::DeleteFileW, 2, {0, kErrorSharingViolation});
    TempTree t;
    t.File("a");
    t.File("b");
    EXPECT_TRUE(DeleteFileW(t.Win("a").c_str()));
    EXPECT_FALSE(DeleteFileW(t.Win("b").c_str()));
    EXPECT_EQ(GetLastError(), kErrorSharingViolation);
    EXPECT_TRUE(t.Exists("b"));
    ASSERT_EQ(hooks.Count(testing::Op::DeleteFileW), 2);
    EXPECT_EQ(hooks.CallsOf(testing::Op::DeleteFileW)[1].text1, t.Win("b"));
}

}  // namespace
}  // namespace vx::test
