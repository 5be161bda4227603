// What only the host emulation can be asked: a host file system may hold
// names that Windows would treat as one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "fileops/platform.h"
#include "tests/test_support.h"

namespace vx::test {
namespace {

using namespace vx::win;

// Searches are read a bounded batch at a time and resume after the last name
// reported; names equal but for case must not be lost at a batch boundary.
TEST(EmulatedSearch, NamesDifferingOnlyInCaseSurviveABatchBoundary) {
    TempTree t;
    constexpr int kPairs = 4200;
    // One name ahead of the pairs moves every batch boundary into a pair.
    t.File("d/e");
    NumberedFiles(t, "d/f%05d", kPairs);
    NumberedFiles(t, "d/F%05d", kPairs);
    FindData fd;
    FindHandle h = FindFirstFileW((t.Win("d") + u"\\*").c_str(), &fd);
    ASSERT_NE(h, nullptr);
    std::set<std::u16string> seen;
    std::size_t reported = 0;
    do {
        const std::u16string name = fd.fileName;
        if (name == u"." || name == u"..") continue;
        ++reported;
        seen.insert(name);
        EXPECT_TRUE(DeleteFileW((t.Win("d") + u"\\" + name).c_str()));
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    EXPECT_EQ(reported, std::size_t{2 * kPairs + 1});
    EXPECT_EQ(seen.size(), std::size_t{2 * kPairs + 1});
    EXPECT_TRUE(t.List("d").empty());
}

// A name created after the search has passed its place is not reported; one
// created ahead of it is, once the search reads the folder again.
TEST(EmulatedSearch, LaterReadsSeeOnlyNamesAheadOfTheSearch) {
    TempTree t;
    constexpr int kFiles = 9000;
    NumberedFiles(t, "d/m%05d", kFiles);
    FindData fd;
    FindHandle h = FindFirstFileW((t.Win("d") + u"\\*").c_str(), &fd);
    ASSERT_NE(h, nullptr);
    std::set<std::u16string> seen;
    while (FindNextFileW(h, &fd)) {
        seen.insert(fd.fileName);
        if (std::u16string(fd.fileName) == u"m00100") {
            t.File("d/a_behind");
            t.File("d/z_ahead");
        }
    }
    FindClose(h);
    EXPECT_EQ(seen.count(u"a_behind"), 0u);
    EXPECT_EQ(seen.count(u"z_ahead"), 1u);
    EXPECT_EQ(seen.size(), std::size_t{kFiles + 2});  // ".." and z_ahead
}

// Reparse points as Windows shows them: a host link is a symbolic link, and
// a folder named in VXEMU_CLOUD_FOLDERS a cloud-sync placeholder.
TEST(EmulatedReparse, LinksAndCloudPlaceholdersCarryTheirTags) {
    TempTree t;
    t.Dir("cloud");
    t.Dir("plain");
    std::filesystem::create_directory_symlink(t.Host("plain"), t.Host("link"));
    ::setenv("VXEMU_CLOUD_FOLDERS", ("/nowhere:" + t.Host("cloud").string() + "/").c_str(), 1);
    const struct {
        const char* name;
        DWORD attributes;
        DWORD tag;
    } cases[] = {{"cloud", 0x410, kReparseTagCloud7},
                 {"link", 0x410, kReparseTagSymlink},
                 {"plain", 0x10, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(GetFileAttributesW(t.Win(c.name).c_str()), c.attributes) << c.name;
        FindData fd;
        FindHandle h = FindFirstFileW(t.Win(c.name).c_str(), &fd);
        ASSERT_NE(h, nullptr) << c.name;
        FindClose(h);
        EXPECT_EQ(fd.attributes, c.attributes) << c.name;
        EXPECT_EQ(fd.reparseTag, c.tag) << c.name;
    }
    ::unsetenv("VXEMU_CLOUD_FOLDERS");
}

}  // namespace
}  // namespace vx::test
