// The cleanup passes: which folders are walked in which order, what each
// kind of file gets, links, update mode and the font-change broadcast.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "context/plugin_context.h"
#include "fileops/held_folder.h"
#include "fileops/path_ops.h"
#include "fileops/platform.h"
#include "fileops/platform_hooks.h"
#include "fonts/fonts.h"
#include "paths/walker.h"
#include "tests/held_file.h"
#include "tests/test_support.h"
#include "uninstall/cleanup.h"
#include "uninstall/run_log.h"

namespace vx::test {
namespace {

class Cleanup : public ::testing::Test {
protected:
    TempTree t;
    std::unique_ptr<VXPluginContext> c;

    void SetUp() override {
        VXContextParams p;
        p.fontRegistrationMode = 2;
        c = std::make_unique<VXPluginContext>(p);
        c->roamingPluginDir = t.Win("roam");
        c->DeriveRoamingDirs();
        c->localPluginDir = t.Win("local");
        c->DeriveLocalDirs();
        for (const char* d : {"roam/e", "roam/r", "local/e", "local/r", "third", "fourth"})
            t.Dir(d);
    }
    void Clean(bool update = false, bool roaming = true) {
        CleanPluginFolders(c.get(), roaming ? t.Win("roam") : WideString(), t.Win("local"),
                           t.Win("third"), t.Win("fourth"), update);
    }
    // Returns the font's bytes.
    std::string RegisteredFont(const std::string& rel) {
        const std::string font = UniqueFont();
        t.File(rel, font);
        EXPECT_TRUE(RegisterFontFile(c.get(), t.Win(rel), 2));
        return font;
    }
    // The folders walked, in order, from the search patterns.
    static std::vector<WideString> Walked(const ScopedHooks& hooks) {
        std::vector<WideString> out;
        for (const auto& call : hooks.CallsOf(Op::FindFirstFileW)) out.push_back(call.text1);
        return out;
    }
};

TEST_F(Cleanup, PassWalksTheFoldersInOrder) {
    ScopedHooks hooks;
    Clean();
    EXPECT_EQ(Walked(hooks),
              (std::vector<WideString>{t.Win("roam/r/*"), t.Win("roam/e/*"), t.Win("roam/*"),
                                       t.Win("local/r/*"), t.Win("local/e/*"), t.Win("local/*"),
                                       t.Win("third/*"), t.Win("fourth/*")}));
    EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 0);
}

// A cloud-sync client's placeholder folders are reparse points too; only a
// link (a name surrogate, or a tag that tells nothing) is refused.
TEST_F(Cleanup, ReparseFoldersAreWalkedUnlessLinks) {
    const struct {
        win::DWORD tag;
        bool walked;
    } cases[] = {
        {win::kReparseTagMountPoint, false},
        {win::kReparseTagSymlink, false},
        {0xA000001Du, false},  // a WSL symbolic link, another name surrogate
        {0, false},            // as Wine shows a Linux link
        {0x9000001Au, true},   // cloud placeholders: tags 0, 1 and 7
        {0x9000101Au, true},
        {win::kReparseTagCloud7, true},
        {0x9000001Cu, true},  // a projected (ProjFS) folder
        {0x80000013u, true},  // deduplicated data
    };
    for (const auto& c : cases) {
        t.File("roam/r/a.otf");
        t.File("roam/x");
        t.File("third/x");
        ScopedHooks hooks;
        // The folders as Windows shows them: the attribute, and the tag, in
        // the record of the handle each is opened as (walks and sets alike).
        bool marked = false;
        hooks.Inject([&c, &marked](const Call& call) -> std::optional<Outcome> {
            if (call.op == Op::NtCreateFile) {
                marked = (call.n2 & win::kFileDirectoryFile) &&
                         (call.text1 == u"roam" || call.text1 == u"r" || call.text1 == u"third");
                return std::nullopt;
            }
            if (call.op != Op::GetFileInformationByHandle || !marked) return std::nullopt;
            marked = false;
            return Outcome{.result = 1, .editInfo = [&c](win::FileInfo& i) {
                               i.attributes |= 0x400;
                               i.reparseTag = c.tag;
                           }};
        });
        Clean();
        EXPECT_EQ(!t.Exists("roam/r/a.otf"), c.walked) << "tag " << std::hex << c.tag;
        EXPECT_EQ(!t.Exists("roam/x"), c.walked) << std::hex << c.tag;
        EXPECT_EQ(!t.Exists("third/x"), c.walked) << std::hex << c.tag;
    }
}

TEST_F(Cleanup, UpdateModeTouchesNothing) {
    RegisteredFont("roam/r/a.otf");
    t.File("roam/e/x");
    ScopedHooks hooks;
    Clean(true);
    EXPECT_TRUE(hooks.Calls().empty());
    EXPECT_TRUE(t.Exists("roam/r/a.otf"));
    EXPECT_TRUE(t.Exists("roam/e/x"));
}

TEST_F(Cleanup, EmptyRoamingFolderSkipsTheWholeRoamingSet) {
    t.File("roam/r/a.otf");
    t.File("roam/e/x");
    t.File("local/e/y");
    t.File("third/z");
    ScopedHooks hooks;
    Clean(false, false);
    EXPECT_EQ(Walked(hooks),
              (std::vector<WideString>{t.Win("local/r/*"), t.Win("local/e/*"), t.Win("local/*"),
                                       t.Win("third/*"), t.Win("fourth/*")}));
    EXPECT_TRUE(t.Exists("roam/r/a.otf"));
    EXPECT_TRUE(t.Exists("roam/e/x"));
    EXPECT_FALSE(t.Exists("local/e/y"));
    EXPECT_FALSE(t.Exists("third/z"));
}

TEST_F(Cleanup, FontFolderKeepsOtherFilesAndBroadcastsOnce) {
    RegisteredFont("roam/r/one.otf");
    RegisteredFont("roam/r/two.otf");
    RegisteredFont("roam/r/three");
    t.File("roam/r/keep.ttf");
    t.File("roam/r/keep.txt");
    t.File("roam/r/KEEP.OTF");
    t.File("roam/r/gone.tmp");
    t.File("roam/r/sub/inner.otf");
    ScopedHooks hooks;
    CleanFontFolder(c.get(), c->roamingRDir);
    EXPECT_EQ(t.List("roam/r"),
              (std::vector<std::string>{"KEEP.OTF", "keep.ttf", "keep.txt", "sub"}));
    EXPECT_TRUE(t.Exists("roam/r/sub/inner.otf"));
    EXPECT_EQ(hooks.Count(Op::RemoveFontResourceExW), 3 * 2);  // each until the table lets go
    ASSERT_EQ(hooks.Count(Op::SendNotifyMessageW), 1);
    // Sent once the folder's search and the folder itself are closed.
    const auto& calls = hooks.Calls();
    EXPECT_EQ(calls.back().op, Op::SendNotifyMessageW);
    EXPECT_EQ(calls[calls.size() - 2].op, Op::CloseHandle);
    EXPECT_EQ(calls[calls.size() - 3].op, Op::FindClose);
    // The .tmp file went without a font-table call.
    for (const auto& call : hooks.CallsOf(Op::RemoveFontResourceExW))
        EXPECT_EQ(call.text1.find(u".tmp"), WideString::npos);
}

TEST_F(Cleanup, NoSuccessfulRemovalNoBroadcast) {
    t.File("roam/r/unregistered.otf", FontBytes());
    t.File("local/r/also");
    ScopedHooks hooks;
    Clean();
    EXPECT_EQ(hooks.Count(Op::RemoveFontResourceExW), 2);
    EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 0);
    EXPECT_TRUE(t.List("roam/r").empty());
}

TEST_F(Cleanup, InUseFontIsMovedAsideAndLeftAloneLater) {
    const std::string font = RegisteredFont("roam/r/busy.otf");
    t.ReadOnly("roam/r/busy.otf");
    ScopedHooks hooks;
    Clean();
    const auto left = t.List("roam/r");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind("del", 0), 0u);
    EXPECT_EQ(t.Read("roam/r/" + left[0]), font);
    EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 1);
    hooks.Clear();
    Clean();
    EXPECT_EQ(t.List("roam/r"), left);
    // Windows names it ".TMP", which is no ".tmp" to the case-sensitive walk;
    // Wine's lower-case name would be deleted here instead.
    EXPECT_EQ(hooks.Count(Op::RemoveFontResourceExW), 0);
}

TEST_F(Cleanup, DeleteWalksEmptyFilesButNotSubfolders) {
    for (const char* f : {"roam/e/a.otf", "roam/e/b.bin", "roam/plugin.cfg", "local/.hidden",
                          "third/x.tmp", "fourth/y", "roam/e/sub/deep"})
        t.File(f);
    t.File("roam/e/stuck");
    t.ReadOnly("roam/e/stuck");
    t.File("roam/u/kept");
    Clean();
    EXPECT_EQ(t.List("roam/e"), (std::vector<std::string>{"stuck", "sub"}));
    EXPECT_EQ(t.List("roam"), (std::vector<std::string>{"e", "r", "u"}));
    EXPECT_TRUE(t.List("third").empty());
    EXPECT_TRUE(t.List("fourth").empty());
    EXPECT_EQ(t.List("local"), (std::vector<std::string>{"e", "r"}));
    EXPECT_TRUE(t.Exists("roam/e/sub/deep"));
    EXPECT_TRUE(t.Exists("roam/u/kept"));
}

TEST_F(Cleanup, ExceptionInAFontWalkStillSendsTheBroadcast) {
    RegisteredFont("roam/r/a.otf");
    t.File("roam/r/b.otf", FontBytes());
    t.File("roam/e/untouched");
    ScopedHooks hooks;
    // Exhausted memory on the second file's attribute query.
    hooks.Inject([&](const Call& call) -> std::optional<Outcome> {
        if (call.op == Op::GetFileAttributesW && call.text1 == t.Win("roam/r/b.otf"))
            return Outcome{0, 0, true};
        return std::nullopt;
    });
    EXPECT_THROW(Clean(), std::bad_alloc);
    EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 1);
    EXPECT_EQ(hooks.Count(Op::FindClose), 1);  // the search is closed on the way out too
    EXPECT_FALSE(c->fontBatchActive);
    EXPECT_TRUE(t.Exists("roam/e/untouched"));
}

// The log over two passes, line for line: each folder and file told of once,
// where first met, a fate that changes told again, and a refusal's report.
TEST_F(Cleanup, LogTellsEachThingOnceWhereFirstMet) {
    t.File("roam/r/a.otf", FontBytes());
    t.File("roam/r/keep.ttf");
    t.Dir("roam/r/sub");
    t.File("roam/e/x.bin");
    fs::remove(t.Host("fourth"));
    {
        RunLog log;
        ASSERT_TRUE(log.Open(t.Win("run.log"), false));
        SetActiveLog(&log);
        ScopedHooks hooks;
        // Both deletes, the POSIX one and the classic one it falls back to
        // (an injector that answers a call keeps it from those after it).
        for (int form = 0; form < 2; ++form)
            hooks.FailNth(Op::SetFileDispositionByHandle, 1, {0, 87});
        hooks.FailNth(Op::RenameByHandle, 1, {0, 87});
        Clean();
        Clean();
        EXPECT_EQ(std::vector<int>({log.removed, log.moved, log.left, log.notWalked}),
                  std::vector<int>({2, 0, 1, 1}));
    }
    // The log, gone, leaves no observer and no sink behind.
    EXPECT_EQ(g_walkObserver, nullptr);
    EXPECT_EQ(g_failureSink.report, nullptr);
    const auto at = [&](const char* rel) { return WideToUtf8(t.Win(rel)); };
    std::vector<std::string> expected = {
        "\xEF\xBB\xBFuninstall log",
        "font " + at("roam/r/a.otf") + ": not in the font table",
        "report: MoveFile failed, code=87 (" + at("roam/r/a.otf") + ")",
        "file " + at("roam/r/a.otf") + ": left: delete and move refused, code=87",
        "file " + at("roam/r/keep.ttf") + ": left: another kind of file in a font folder",
        "folder " + at("roam/r/sub") + ": left: a subfolder (walks never go down)",
        "file " + at("roam/e/x.bin") + ": removed",
    };
    for (const char* sub : {"roam/e", "roam/r", "local/e", "local/r"})
        expected.push_back("folder " + at(sub) + ": left: a subfolder (walks never go down)");
    expected.insert(
        expected.end(),
        {"report: error walking dir", "folder " + at("fourth") + ": not walked: missing",
         "font " + at("roam/r/a.otf") + ": not in the font table",
         "file " + at("roam/r/a.otf") + ": removed", "report: error walking dir"});
    std::vector<std::string> lines;
    std::istringstream text(t.Read("run.log"));
    for (std::string line; std::getline(text, line);)
        lines.push_back(line.substr(0, line.size() - 1));
    EXPECT_EQ(lines, expected);
}

// Other programs at work in the plugin's folders: a scanner that holds a
// file, sharing delete, across both passes where the volume gives only the
// classic delete; a sync client that has the plugin folder open to move it
// for the first two tries; a font an application still has loaded.
TEST_F(Cleanup, WhatOtherProgramsHoldIsWaitedForOnlyWhereItHelps) {
    RegisteredFont("roam/r/held.otf");
    t.File("roam/e/x.bin");
    RegisteredFont("roam/r/used.otf");
    constexpr win::DWORD kAll = win::kFileShareRead | win::kFileShareWrite | win::kFileShareDelete;
    win::FileHandle scanner = win::CreateFileW(
        t.Win("roam/r/held.otf").c_str(), win::kFileReadAttributes, kAll, win::kOpenExisting, 0);
    ASSERT_NE(scanner, nullptr);
    {
        RunLog log;
        ASSERT_TRUE(log.Open(t.Win("run.log"), false));
        SetActiveLog(&log);
        ScopedHooks hooks;
        win::FileHandle mover =
            win::CreateFileW(t.Win("roam").c_str(), win::kDelete | win::kFileReadAttributes, kAll,
                             win::kOpenExisting, win::kFileFlagBackupSemantics);
        // Waits are made, without waiting; the mover lets go at the second.
        int waits = 0, heldWaits = 0;
        hooks.Inject([&](const Call& call) -> std::optional<Outcome> {
            if (call.op != Op::Sleep) return std::nullopt;
            heldWaits += log.current == t.Win("roam/r/held.otf");
            if (++waits == 2 && mover) {
                win::CloseHandle(mover);
                mover = nullptr;
            }
            return Outcome{1, 0};
        });
        hooks.Inject([](const Call& call) -> std::optional<Outcome> {
            if (call.op == Op::SetFileDispositionByHandle && (call.n1 & win::kDispositionPosix))
                return Outcome{0, 87};
            if (call.op == Op::NtCreateFile && (call.n1 & win::kDelete) &&
                call.text1 == u"used.otf")
                return Outcome{0, 32};
            return std::nullopt;
        });
        Clean();
        Clean();
        EXPECT_EQ(heldWaits, 0);
        if (mover) win::CloseHandle(mover);
    }
    win::CloseHandle(scanner);
    EXPECT_FALSE(t.Exists("roam/r/held.otf"));
    EXPECT_FALSE(t.Exists("roam/e/x.bin"));
    const std::string text = t.Read("run.log");
    const std::string held = WideToUtf8(t.Win("roam/r/held.otf")),
                      used = WideToUtf8(t.Win("roam/r/used.otf"));
    // Its font line and its file line, once each over both passes.
    EXPECT_NE(text.find("font " + held + ": the font table let go of it\r\nfile " + held +
                        ": removed\r\n"),
              std::string::npos);
    int told = 0;
    for (auto at = text.find(held); at != std::string::npos; at = text.find(held, at + 1)) ++told;
    EXPECT_EQ(told, 2);
    EXPECT_NE(text.find("file " + used +
                        ": left: Windows still has it loaded as a font (an application is using "
                        "it), code=32\r\n"),
              std::string::npos);
    // No move was tried for it.
    EXPECT_EQ(text.substr(0, text.find("loaded as a font")).find("MoveFile failed"),
              std::string::npos);
}

// Whatever is swapped for a link at any moment of a run, nothing outside the
// plugin's folders changes. For each call k of a run, a folder is renamed
// away at call k and a link to an outside copy of it put in its place: the
// walked "e" folder, the plugin folder, and the folder above it. Only the
// last, swapped before the run has opened the plugin folder, may be followed
// (it is the user's to place). Natively the test makes the links; Wine 8
// makes none (CreateSymbolicLinkW succeeds and makes nothing), so there
// tests/interleave_links.sh makes them on the host below VX_INTERLEAVE_ROOT.
// A run in the same layout, elevated, follows no link below a known folder.
TEST_F(Cleanup, NoSwapAtAnyCallRedirectsTheRun) {
    const char* given = std::getenv("VX_INTERLEAVE_ROOT");
    const std::string base = given ? "" : "interleave/";
    const WideString root =
        given ? WideString(given, given + std::strlen(given)) : t.Win("interleave");
    const auto at = [&](const char* rel) {
        WideString w = root + u"\\";
        for (const char* c = rel; *c; ++c) w += *c == '/' ? u'\\' : static_cast<char16_t>(*c);
        return w;
    };
    const char* files[] = {"r/a.otf", "r/b.otf", "e/x.bin", "e/y.bin", "c/z.bin", "top.bin"};
    const auto write = [&](const WideString& folder) {
        for (const char16_t* d : {u"", u"\\r", u"\\e", u"\\c"})
            win::CreateDirectoryW((folder + d).c_str());
        for (const char* f : files) {
            std::fstream out;
            WideString w = folder + u"\\";
            for (const char* c = f; *c; ++c) w += *c == '/' ? u'\\' : static_cast<char16_t>(*c);
            OpenFileStream(out, w, true, false);
            out << "kept";
        }
    };
    const auto outsideIntact = [&] {
        for (const char* f : files) {
            std::fstream in;
            std::string text;
            const std::string rel = std::string("outside/plugins/vexaline/") + f;
            if (!OpenFileStream(in, at(rel.c_str()), false, false) || !(in >> text) ||
                text != "kept")
                return false;
        }
        return true;
    };
    for (const char* d : {"", "/set", "/set/plugins", "/outside", "/outside/plugins", "/links"})
        win::CreateDirectoryW(at(d).c_str());
    write(at("outside/plugins/vexaline"));
    // A folder is renamed away and its stand-in, made beforehand beside it,
    // renamed into its place: the stand-in holds a link where the folder
    // held the one named (Wine moves a link's target, not the link).
    const struct {
        const char* what;
        const char* target;
        const char* link;
        const char* leadsTo;
    } swaps[] = {{"the walked e", "set/plugins/vexaline", "e", "outside/plugins/vexaline/e"},
                 {"the plugin folder", "set/plugins", "vexaline", "outside/plugins/vexaline"},
                 {"the folder above", "set", "plugins", "outside/plugins"}};
    if (!given)
        for (const auto& s : swaps) {
            const std::string alt = base + s.target + ".alt";
            fs::create_directories(t.Host(alt));
            fs::create_directory_symlink(t.Host(base + s.leadsTo), t.Host(alt + "/" + s.link));
        }
    ASSERT_NE(win::GetFileAttributesW(at("set.alt/plugins").c_str()), win::kInvalidFileAttributes)
        << "no link to swap in";
    const WideString plugin = at("set/plugins/vexaline");
    const auto run = [&] {
        VXPluginContext context{VXContextParams{}};
        context.roamingPluginDir = plugin;
        context.DeriveRoamingDirs();
        CleanPluginFolders(&context, plugin, {}, plugin + u"\\c", {}, false);
    };
    int runs = 0, redirected = 0, made = 0;
    for (const auto& s : swaps) {
        // The calls of a run undisturbed, and the one that opens the plugin
        // folder itself.
        write(plugin);
        std::size_t calls = 0, pluginOpened = 0;
        {
            ScopedHooks hooks;
            run();
            calls = hooks.Calls().size();
            for (std::size_t i = 0; i < calls && !pluginOpened; ++i)
                if (hooks.Calls()[i].text1 == u"vexaline" &&
                    std::string(win::testing::OpName(hooks.Calls()[i].op)) == "NtCreateFile")
                    pluginOpened = i + 1;
        }
        for (std::size_t k = 1; k <= calls; ++k) {
            write(plugin);
            const WideString target = at(s.target), moved = target + u".moved",
                             standIn = target + u".alt";
            bool away = false, swapped = false, busy = false;
            std::size_t seen = 0;
            {
                ScopedHooks hooks;
                hooks.Inject([&](const Call&) -> std::optional<Outcome> {
                    if (busy || ++seen != k) return std::nullopt;
                    busy = true;
                    away = win::MoveFileW(target.c_str(), moved.c_str());
                    swapped = away && win::MoveFileW(standIn.c_str(), target.c_str());
                    busy = false;
                    return std::nullopt;
                });
                run();
            }
            ++runs;
            made += swapped;
            const bool followedByRight = s.link == std::string("plugins") && k <= pluginOpened;
            if (!outsideIntact() && !followedByRight) {
                ++redirected;
                ADD_FAILURE() << s.what << " swapped at call " << k << " of " << calls;
            }
            if (swapped) win::MoveFileW(target.c_str(), standIn.c_str());
            if (away) win::MoveFileW(moved.c_str(), target.c_str());
            if (!outsideIntact()) write(at("outside/plugins/vexaline"));
        }
    }
    std::printf("interleaving: %d runs, %d swaps made, %d redirected\n", runs, made, redirected);

    // An elevated run follows no link below a known folder, which an
    // unelevated process of the same user could have planted, and names the
    // link it refused; an unelevated one follows the user's own, even where
    // Windows would refuse an ordinary user's junction to a process that
    // asked for redirection trust (natively the link is marked so).
    TrustFolder(at("set.alt"));
    if (!given) MarkUserLink(t.Host(base + "set.alt/plugins").string());
    for (const bool elevated : {false, true}) {  // the policy binds for good once asked
        const WideString linked = at("set.alt/plugins/vexaline");
        {
            RunLog log;
            ASSERT_TRUE(log.Open(t.Win(elevated ? "elevated.log" : "unelevated.log"), false));
            SetActiveLog(&log);
            ScopedHooks hooks;
            hooks.FailAll(Op::GetTokenElevation, {elevated, 0});
            NoteTokenElevation();
            VXPluginContext context{VXContextParams{}};
            context.roamingPluginDir = linked;
            context.DeriveRoamingDirs();
            CleanPluginFolders(&context, linked, {}, linked + u"\\c", {}, false);
        }
        EXPECT_EQ(outsideIntact(), elevated) << "elevated " << elevated;
        EXPECT_EQ(t.Read(elevated ? "elevated.log" : "unelevated.log")
                          .find(WideToUtf8(at("set.alt/plugins")) + " above the plugin folder") !=
                      std::string::npos,
                  elevated);
        write(at("outside/plugins/vexaline"));
    }
    MarkUserLink("");
    ScopedHooks unelevated;
    unelevated.FailAll(Op::GetTokenElevation, {0, 0});
    NoteTokenElevation();
}

}  // namespace
}  // namespace vx::test
