// Deletes, the move aside and its failures, and the retries of brief
// refusals, on real files of the build's file system.
#include <gtest/gtest.h>

#include "fileops/held_folder.h"
#include "fileops/path_ops.h"
#include "fileops/platform.h"
#include "fileops/platform_hooks.h"
#include "fileops/remove.h"
#include "fileops/retry.h"
#include "tests/held_file.h"
#include "tests/test_support.h"

namespace vx::test {
namespace {

class FileOps : public ::testing::Test {
protected:
    TempTree t;
    CapturingSink sink;

    // Names in the folder that look like the system's "del" temporary files.
    std::vector<std::string> DelFiles(const std::string& rel = "") {
        std::vector<std::string> out;
        for (auto& n : t.List(rel))
            if (n.rfind("del", 0) == 0 && n.size() > 4 &&
                (n.substr(n.size() - 4) == ".TMP" || n.substr(n.size() - 4) == ".tmp"))
                out.push_back(n);
        return out;
    }
};

TEST_F(FileOps, DeletableFileGoesWithoutLeftovers) {
    t.File("r/a.otf");
    EXPECT_TRUE(DeleteFileOrRename(t.Win("r/a.otf")));
    EXPECT_TRUE(t.List("r").empty());
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(FileOps, RefusedFileIsMovedAsideWithItsContents) {
    t.File("r/a.otf", "font bytes\r\n");
    t.ReadOnly("r/a.otf");
    EXPECT_TRUE(DeleteFileOrRename(t.Win("r/a.otf")));
    EXPECT_FALSE(t.Exists("r/a.otf"));
    const auto moved = DelFiles("r");
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(t.List("r"), moved);
    EXPECT_EQ(t.Read("r/" + moved[0]), "font bytes\r\n");
    EXPECT_TRUE(sink.reports.empty());
    // The name counts up from the clock's seconds and milliseconds (0xA09
    // here), without leading zeros, past a name taken.
    t.File("r/b.otf");
    t.ReadOnly("r/b.otf");
    t.File("r/delA09.TMP");
    win::SystemTime now{2026, 1, 1, 1, 0, 0, 2, 569};
    ScopedHooks hooks;
    hooks.Inject([&now](const Call& c) -> std::optional<Outcome> {
        if (c.op != Op::GetSystemTime) return std::nullopt;
        *static_cast<win::SystemTime*>(c.out) = now;
        return Outcome{1, 0};
    });
    EXPECT_EQ(RemoveFile(t.Win("r/b.otf"), true).movedTo, t.Win("r/delA0A.TMP"));
    // On the minute exactly the count starts at 1: no name is "del.TMP".
    now.second = now.milliseconds = 0;
    t.File("r/c.otf");
    t.ReadOnly("r/c.otf");
    EXPECT_EQ(RemoveFile(t.Win("r/c.otf"), true).movedTo, t.Win("r/del1.TMP"));
}

TEST_F(FileOps, MissingPathsAndFoldersAreFalseWithoutReport) {
    t.Dir("folder");
    EXPECT_FALSE(DeleteFileOrRename(t.Win("missing")));
    EXPECT_FALSE(DeleteFileOrRename(t.Win("folder")));
    EXPECT_FALSE(DeleteFileOrRename(t.Win() + u"\\" + WideString(300, u'm')));
    EXPECT_FALSE(DeleteFileOrRename(u""));
    EXPECT_STREQ(RemoveFile(u"\\a.otf", false).why, "not a file's path");
    EXPECT_TRUE(sink.reports.empty());
    EXPECT_TRUE(t.Exists("folder"));
}

TEST_F(FileOps, PathLengthLimitOfTheRenameFallback) {
    // An undeletable file of 259 characters is moved; 260 is too long.
    const std::size_t base = t.Win().size() + 1;
    const std::string n259 = Name(259 - base, 'a');
    t.File(n259);
    t.ReadOnly(n259);
    ASSERT_EQ(t.Win(n259).size(), 259u);
    EXPECT_TRUE(DeleteFileOrRename(t.Win(n259)));
    EXPECT_FALSE(t.Exists(n259));
    EXPECT_TRUE(sink.reports.empty());

    const std::string n260 = Name(260 - base, 'b');
    t.File(n260);
    // The file system accepts 260 characters only where the host does; the
    // refusal of the delete is injected so the length check is reached.
    ScopedHooks hooks;
    hooks.FailAll(Op::SetFileDispositionByHandle, {0, 5});
    const FileFate fate = RemoveFile(t.Win(n260), true);
    EXPECT_EQ(fate.kind, FileFate::Kind::Left);
    // 32-bit Wine gives no final path this long (tests/wine_differences.tsv):
    // the file is left before the length check, and says why.
    if (fate.code == 234)
        EXPECT_STREQ(fate.why, "Windows cannot tell where it lies");
    else
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{"path too long"});
}

TEST_F(FileOps, EachFallbackFailureIsReportedWithItsCode) {
    t.File("r/a.otf", "A");
    t.ReadOnly("r/a.otf");
    struct Case {
        Op op;
        win::DWORD error;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {Op::PathRemoveFileSpecW, 87, {"PathRemoveFileSpec failed, code=87"}},
        {Op::RenameByHandle, 87, {"MoveFile failed, code=87"}},
        // Every temporary name taken.
        {Op::RenameByHandle, win::kErrorAlreadyExists, {"GetTempFileName failed, code=80"}},
    };
    for (const auto& c : cases) {
        sink.reports.clear();
        ScopedHooks hooks;
        hooks.FailAll(c.op, {0, c.error});
        EXPECT_FALSE(DeleteFileOrRename(t.Win("r/a.otf"))) << c.texts[0];
        EXPECT_EQ(sink.Texts(), c.texts);
        EXPECT_EQ(t.Read("r/a.otf"), "A");
        EXPECT_TRUE(DelFiles("r").empty());
    }
    // A failed PathAppendW ends the fallback silently.
    sink.reports.clear();
    ScopedHooks hooks;
    hooks.FailAll(Op::PathAppendW, {0, 87});
    const FileFate fate = RemoveFile(t.Win("r/a.otf"), true);
    EXPECT_EQ(fate.kind, FileFate::Kind::Left);
    EXPECT_EQ(fate.code, 87u);
    EXPECT_TRUE(sink.reports.empty());
}

// The opens that matter to a retry are those for delete; the others look.
// The deletes counted are the classic ones: the volumes of these cases give
// no POSIX delete (as Wine's), so that every build makes the same calls.
bool ForDelete(const Call& call) {
    if (call.op == Op::SetFileDispositionByHandle) return !(call.n1 & win::kDispositionPosix);
    return call.op != Op::NtCreateFile || (call.n1 & win::kDelete);
}
bool PosixDelete(const Call& call) {
    return call.op == Op::SetFileDispositionByHandle && (call.n1 & win::kDispositionPosix);
}

// Scanners and indexers hold files for a moment on Windows: 32 and 5 are
// tried again, briefly; other errors and read-only files are not.
TEST_F(FileOps, BriefRefusalsAreRetriedWithinTheCaps) {
    const struct {
        const char* what;
        bool readOnly;  // its delete refused for good, so it is moved aside
        Op op;
        int refusals;  // of op, the first ones (-1: all)
        win::DWORD error;
        int calls;  // of op
        bool freed;
    } cases[] = {
        {"open for delete refused with 32 three times", false, Op::NtCreateFile, 3, 32, 4, true},
        {"delete refused with 5 twice", false, Op::SetFileDispositionByHandle, 2, 5, 3, true},
        {"delete refused with 2: no retry", false, Op::SetFileDispositionByHandle, 1, 2, 1, false},
        {"read-only: no retry, moved aside", true, Op::SetFileDispositionByHandle, 0, 0, 1, true},
        {"move refused with 5 twice", true, Op::RenameByHandle, 2, 5, 3, true},
        {"held for good: ends within a second", false, Op::SetFileDispositionByHandle, -1, 32, 7,
         false},
    };
    int folder = 0;
    // As in a run with a log: what it keeps is not what is waited for.
    t.File("kept.log");
    KeepFile(t.Win("kept.log"));
    for (const auto& c : cases) {
        ResetRetryBudget();
        // A folder each: Windows would not remove a moved-aside read-only file.
        const std::string f = 'f' + std::to_string(folder++) + "/a.otf";
        t.File(f, "A");
        if (c.readOnly) t.ReadOnly(f);
        ScopedHooks hooks;
        hooks.FailAll(Op::Sleep, {1, 0});  // waits made, without waiting
        auto seen = std::make_shared<int>(0);
        hooks.Inject([&c, seen](const Call& call) -> std::optional<Outcome> {
            if (PosixDelete(call)) return Outcome{0, win::kErrorInvalidParameter};
            if (call.op != c.op || !ForDelete(call) || (c.refusals >= 0 && ++*seen > c.refusals))
                return std::nullopt;
            return Outcome{0, c.error};
        });
        const bool freed = c.readOnly ? DeleteFileOrRename(t.Win(f)) : TryDeleteFile(t.Win(f));
        EXPECT_EQ(freed, c.freed) << c.what;
        const auto made = hooks.CallsOf(c.op);
        EXPECT_EQ(std::count_if(made.begin(), made.end(), ForDelete), c.calls) << c.what;
        std::uint64_t waited = 0;
        for (const auto& s : hooks.CallsOf(Op::Sleep)) waited += s.n1;
        EXPECT_LE(waited, 1000u) << c.what;
        EXPECT_EQ(t.Exists(f), !freed) << c.what;
    }
    KeepFile(u"");
    // A file's waits are shared by the calls made for it: an open that
    // spent them leaves its delete one try.
    {
        ResetRetryBudget();
        t.File("g/a.otf");
        ScopedHooks hooks;
        hooks.FailAll(Op::Sleep, {1, 0});
        auto opens = std::make_shared<int>(6);
        hooks.Inject([opens](const Call& call) -> std::optional<Outcome> {
            if (PosixDelete(call)) return Outcome{0, win::kErrorInvalidParameter};
            if (call.op == Op::NtCreateFile && (call.n1 & win::kDelete) && --*opens >= 0)
                return Outcome{0, 32};
            if (call.op == Op::SetFileDispositionByHandle) return Outcome{0, 32};
            return std::nullopt;
        });
        EXPECT_FALSE(TryDeleteFile(t.Win("g/a.otf")));
        std::uint64_t waited = 0;
        for (const auto& s : hooks.CallsOf(Op::Sleep)) waited += s.n1;
        EXPECT_EQ(waited, 1000u);
    }
    // A refused move leaves no temporary file; a run's waits are capped in all.
    ResetRetryBudget();
    t.File("r/a.otf", "A");
    t.ReadOnly("r/a.otf");
    ScopedHooks hooks;
    hooks.FailAll(Op::Sleep, {1, 0});
    hooks.FailAll(Op::RenameByHandle, {0, 87});
    EXPECT_FALSE(DeleteFileOrRename(t.Win("r/a.otf")));
    EXPECT_EQ(t.List("r"), std::vector<std::string>{"a.otf"});
    // Held for longer than a capped run tries, but not for good: once the
    // run's waits are spent, each delete is tried once more and refused.
    auto refusals = std::make_shared<int>(40);
    hooks.Inject([refusals](const Call& call) -> std::optional<Outcome> {
        if (call.op != Op::SetFileDispositionByHandle || --*refusals < 0) return std::nullopt;
        return Outcome{0, 32};
    });
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(TryDeleteFile(t.Win("r/a.otf"))) << i;
    EXPECT_TRUE(t.Exists("r/a.otf"));
    std::uint64_t waited = 0;
    for (const auto& s : hooks.CallsOf(Op::Sleep)) waited += s.n1;
    EXPECT_LE(waited, 3000u);
}

// A file that opens as the same path on another drive (as Wine shows a link
// it follows) is left, though its final path differs in nothing else.
TEST_F(FileOps, AFileWhoseFinalPathLiesElsewhereIsLeft) {
    t.File("d/x");
    ScopedHooks hooks;
    Outcome elsewhere{1, 0};
    elsewhere.editPath = [](win::WCHAR* path) {
        const std::u16string_view p(path);
        if (p.starts_with(u"\\\\?\\") && p.ends_with(u"\\d\\x"))
            path[4] = path[4] == u'C' ? u'D' : u'C';
    };
    hooks.FailAll(Op::GetFinalPathNameByHandleW, elsewhere);
    EXPECT_FALSE(TryDeleteFile(t.Win("d/x")));
    EXPECT_TRUE(t.Exists("d/x"));
}

// Where Windows cannot give the normalized form (an older SMB server, a
// volume without a drive letter), folder and file are compared in a form it
// gives; where it gives none, the file is left, and says why.
TEST_F(FileOps, AFinalPathInAnotherFormStillChecks) {
    for (const int refused : {1, 3}) {  // the normalized form; every form
        t.File("d/x");
        ScopedHooks hooks;
        hooks.Inject([refused](const Call& call) -> std::optional<Outcome> {
            const int form = call.n2 == win::kFileNameNormalized ? 0
                             : call.n2 == win::kFileNameOpened   ? 1
                                                                 : 2;
            if (call.op != Op::GetFinalPathNameByHandleW || form >= refused) return std::nullopt;
            return Outcome{0, 5};
        });
        const FileFate fate = RemoveFile(t.Win("d/x"), false);
        EXPECT_EQ(t.Exists("d/x"), refused == 3) << refused;
        if (refused == 3) {
            EXPECT_EQ(std::string(fate.why) + std::to_string(fate.code),
                      "its folder cannot be held5");
            HeldFolder folder;
            FolderRefusal refusal;
            EXPECT_FALSE(folder.Open(t.Win("d"), &refusal));
            EXPECT_EQ(refusal.Text(), "not walked: Windows cannot tell where it lies, code=5");
        }
    }
    // A file of its own that gives none, in a folder that gives one.
    t.File("d/x");
    ScopedHooks hooks;
    hooks.FailNth(Op::GetFinalPathNameByHandleW, 3, {0, 21});
    const FileFate fate = RemoveFile(t.Win("d/x"), false);
    EXPECT_EQ(std::string(fate.why) + std::to_string(fate.code),
              "Windows cannot tell where it lies21");
}

TEST_F(FileOps, SmallQueries) {
    t.File("f");
    t.Dir("d");
    EXPECT_TRUE(IsExistingFile(t.Win("f")));
    EXPECT_FALSE(IsExistingFile(t.Win("d")));
    EXPECT_FALSE(IsExistingFile(t.Win("none")));
    EXPECT_FALSE(IsExistingFile(u""));
    EXPECT_TRUE(IsDirectory(t.Win("d")));
    EXPECT_FALSE(IsDirectory(t.Win("f")));
    EXPECT_FALSE(IsDirectory(t.Win("none")));
    EXPECT_FALSE(IsDirectory(u""));
    EXPECT_TRUE(TryDeleteFile(t.Win("f")));
    EXPECT_FALSE(TryDeleteFile(t.Win("f")));
    EXPECT_FALSE(TryDeleteFile(u""));
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(FileOps, MoveFileReplacing) {
    t.File("src", "S");
    t.File("dst", "D");
    {
        ScopedHooks hooks;
        EXPECT_TRUE(MoveFileReplacing(t.Win("src"), t.Win("src")));
        EXPECT_TRUE(hooks.Calls().empty());
        EXPECT_FALSE(MoveFileReplacing(u"", t.Win("src")));
        EXPECT_FALSE(MoveFileReplacing(t.Win("dst"), u""));
        EXPECT_TRUE(hooks.Calls().empty());
        // Differing only in case is not "the same" to this check.
        MoveFileReplacing(t.Win("SRC"), t.Win("src"));
        ASSERT_EQ(hooks.Count(Op::MoveFileExW), 1);
        EXPECT_EQ(hooks.CallsOf(Op::MoveFileExW)[0].n1, 3u);
    }
    t.File("src", "S");
    EXPECT_TRUE(MoveFileReplacing(t.Win("dst"), t.Win("src")));
    EXPECT_EQ(t.Read("dst"), "S");
    EXPECT_FALSE(t.Exists("src"));
}

TEST_F(FileOps, FileStreamsAreBinaryOnWidePaths) {
    const std::string name = "f\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80.bin";  // é € 😀
    std::fstream out;
    ASSERT_TRUE(OpenFileStream(out, t.Win(name), true, false));
    out << "line\r\nnext\n";
    out.close();
    EXPECT_EQ(t.Read(name), "line\r\nnext\n");
    std::fstream in;
    ASSERT_TRUE(OpenFileStream(in, t.Win(name), false, false));
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all.size(), 11u);
    std::fstream again;
    EXPECT_FALSE(OpenFileStream(again, t.Win("missing"), false, false));
    EXPECT_FALSE(OpenFileStream(again, u"", true, false));
    std::fstream hidden;
    ASSERT_TRUE(OpenFileStream(hidden, t.Win("h"), true, true));
    EXPECT_TRUE(win::GetFileAttributesW(t.Win("h").c_str()) & win::kAttrHidden);
}

TEST_F(FileOps, WhatRefusesToOpenKeepsItsAttributes) {
    t.Dir("d");
    t.File("ro", "kept");
    t.ReadOnly("ro");
    for (const char* name : {"d", "ro"}) {
        const win::DWORD before = win::GetFileAttributesW(t.Win(name).c_str());
        std::fstream s;
        const bool opened = OpenFileStream(s, t.Win(name), true, true);
        EXPECT_FALSE(opened && std::string(name) == "d");
        // Wine run as root opens a read-only file for writing; Windows refuses.
        if (!opened) {
            EXPECT_EQ(win::GetFileAttributesW(t.Win(name).c_str()), before) << name;
        }
    }
}

TEST_F(FileOps, NoTemporaryNameIsAskedForInAFolderTooLongForOne) {
    // Windows serves folders of up to MAX_PATH - 14 = 246 characters.
    for (std::size_t length : {246u, 247u, 250u}) {
        const std::size_t base = t.Win().size() + 1;  // and the backslash
        const std::string folder = 'l' + std::to_string(length) + "/" + Name(length - base - 5);
        ASSERT_EQ(t.Win(folder).size(), length);
        t.File(folder + "/f.otf", "font");
        t.ReadOnly(folder + "/f.otf");
        sink.reports.clear();
        const FileFate fate = RemoveFile(t.Win(folder + "/f.otf"), true);
        const bool moved = fate.kind != FileFate::Kind::Left;
        EXPECT_EQ(moved, length == 246) << length;
        if (moved) continue;
        EXPECT_EQ(fate.code, 111u);
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{"GetTempFileName failed, code=111"});
        EXPECT_EQ(t.List(folder), std::vector<std::string>{"f.otf"});
        EXPECT_EQ(t.Read(folder + "/f.otf"), "font");
    }
}

TEST_F(FileOps, AFileHeldByAnotherProgramIsNeverLost) {
    // Without FILE_SHARE_DELETE both the delete and the move are refused (32):
    // the file stays whole and no "del" file is left. With it, the delete goes.
    for (Share share : {Share::None, Share::Read, Share::ReadDelete}) {
        const std::string name = "held" + std::to_string(static_cast<int>(share)) + ".otf";
        t.File(name, "font bytes");
        sink.reports.clear();
        bool freed = false;
        {
            HeldFile held(t.Win(name), share);
            freed = DeleteFileOrRename(t.Win(name));
        }
        EXPECT_EQ(freed, share == Share::ReadDelete);
        EXPECT_EQ(t.Exists(name), !freed);
        if (!freed) {
            EXPECT_EQ(t.Read(name), "font bytes");
            EXPECT_EQ(sink.Texts(), std::vector<std::string>{"MoveFile failed, code=32"});
        }
        EXPECT_TRUE(DelFiles().empty());
        TryDeleteFile(t.Win(name));
    }
}

TEST_F(FileOps, EnsureFolder) {
    EXPECT_FALSE(EnsureFolder(t.Win("no/parent"), false));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"CreateDirectory failed, code=3"});
    sink.reports.clear();
    t.Dir("exists");
    EXPECT_TRUE(EnsureFolder(t.Win("exists"), true));
    EXPECT_FALSE(win::GetFileAttributesW(t.Win("exists").c_str()) & win::kAttrHidden);
    EXPECT_TRUE(EnsureFolder(t.Win("new"), true));
    EXPECT_TRUE(win::GetFileAttributesW(t.Win("new").c_str()) & win::kAttrHidden);
    EXPECT_FALSE(EnsureFolder(u"", true));
    t.File("file");
    EXPECT_FALSE(EnsureFolder(t.Win("file"), false));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"CreateDirectory failed, code=183"});
    sink.reports.clear();
    ScopedHooks hooks;
    hooks.FailAll(Op::SetFileAttributesW, {0, 5});
    EXPECT_FALSE(EnsureFolder(t.Win("new2"), true));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"SetFileAttributes failed, code=5"});
    EXPECT_TRUE(t.Exists("new2"));
}

}  // namespace
}  // namespace vx::test
