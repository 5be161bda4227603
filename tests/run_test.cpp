// The whole run: arguments, known-folder answers, exit status and what an
// exception leaves.
#include <gtest/gtest.h>

#include "fileops/platform.h"
#include "fileops/platform_hooks.h"
#include "paths/known_folders.h"
#include "paths/text.h"
#include "tests/test_support.h"
#include "uninstall/run.h"
#include "uninstall/run_log.h"

namespace vx::test {
namespace {

bool Flag(std::vector<const char*> args) {
    args.insert(args.begin(), "--mode=update");  // the program name never counts
    return HasUpdateFlag(static_cast<int>(args.size()), args.data());
}

TEST(Arguments, OnlyTheExactFlagAfterTheProgramName) {
    EXPECT_FALSE(Flag({}));
    EXPECT_TRUE(Flag({"--mode=update"}));
    EXPECT_TRUE(Flag({"x", "--mode=update", "y", "--mode=update"}));
    for (const char* near : {"--MODE=UPDATE", "--mode=update ", "--mode=updatex", "-mode=update",
                             "--mode=", "update", "--mode", "=update", ""})
        EXPECT_FALSE(Flag({near})) << near;
    EXPECT_FALSE(Flag({"--mode", "=update"}));
}

TEST(Arguments, TheLastLogArgumentWinsAndIsCaseSensitive) {
    const struct {
        std::vector<std::u16string> args;
        const char16_t* path;
    } cases[] = {
        {{u"--log=C:\\a.log"}, u""},  // the program's name never counts
        {{u"uninstall", u"--log=C:\\a.log", u"x", u"--log=C:\\\u00e9\U0001F600.log"},
         u"C:\\\u00e9\U0001F600.log"},
        {{u"uninstall", u"--LOG=C:\\a.log", u"-log=C:\\b", u"--log"}, u""},
        {{u"uninstall", u"--log=C:\\a.log", u"--log="}, u""},
    };
    for (const auto& c : cases) EXPECT_EQ(RunLog::PathFromArguments(c.args), c.path);
}

// Windows opens a device for a reserved name in any folder, with any
// extension; a log there would write to a port.
TEST(RunLog, OpensOnlyAFileOfItsOwn) {
    TempTree t;
    t.Dir("folder.log");
    t.File("ro.log", "ro");
    t.ReadOnly("ro.log");
    const struct {
        WideString path;
        bool opens;
    } cases[] = {
        {t.Win("missing\\x.log"), false},
        {t.Win("folder.log"), false},
        {t.Win("ro.log"), false},
        {t.Win() + u"\\", false},
        {u"x.log", false},
        {t.Win("COM1.log"), false},
        {t.Win("lpt9"), false},
        {t.Win("Com0.txt"), false},
        {t.Win("LPT5 .log"), false},
        {t.Win("COM10.log"), true},
        {t.Win("COMA.log"), true},
        {t.Win("LPT"), true},
        {t.Win("CON1.log"), true},
    };
    for (const auto& c : cases) {
        RunLog log;
        EXPECT_EQ(log.Open(c.path, false), c.opens) << WideToUtf8(c.path);
    }
    EXPECT_EQ(t.Read("COMA.log"), "\xEF\xBB\xBFuninstall log\r\n");
    EXPECT_EQ(t.List(), (std::vector<std::string>{"COM10.log", "COMA.log", "CON1.log", "LPT",
                                                  "folder.log", "ro.log"}));
}

TEST(KnownFolderLocations, SuffixesAndFailures) {
    const WideString roaming = RoamingPluginDir();
    ASSERT_FALSE(roaming.empty());
    const WideString suffix = u"\\Orvane\\Brimlet\\plugins\\vexaline";
    ASSERT_GT(roaming.size(), suffix.size());
    EXPECT_EQ(roaming.substr(roaming.size() - suffix.size()), suffix);
    EXPECT_EQ(PluginDataDir(true), roaming + u"\\c");
    const WideString local = LocalPluginDir();
    EXPECT_EQ(LocalPluginCDir(), local + u"\\c");
    const WideString cloud = PluginDataDir(false);
    const WideString cloudSuffix = u"\\Lanterra Files\\.sync_plugin_data\\vexaline";
    ASSERT_GT(cloud.size(), cloudSuffix.size());
    EXPECT_EQ(cloud.substr(cloud.size() - cloudSuffix.size()), cloudSuffix);
    EXPECT_NE(cloud.substr(0, cloud.size() - cloudSuffix.size()),
              roaming.substr(0, roaming.size() - suffix.size()));
    EXPECT_EQ(UserOwnedFontsDir(), ToUtf8Path(roaming.substr(0, roaming.size() - suffix.size()) +
                                              u"\\Orvane\\User Owned Fonts"));
    EXPECT_EQ(RoamingAppDataDir(), ToUtf8Path(roaming.substr(0, roaming.size() - suffix.size())));

    ScopedHooks hooks;
    hooks.FailAll(Op::SHGetKnownFolderPath, {win::kHresultPathNotFound, 0});
    EXPECT_EQ(RoamingPluginDir(), u"");
    EXPECT_EQ(PluginDataDir(false), u"");
    EXPECT_EQ(RoamingAppDataDir(), "");
}

TEST(KnownFolderLocations, OnlyFullyQualifiedAnswersResolve) {
    // What a folder setting in the registry can make the shell hand out.
    const struct {
        const char16_t* answer;
        const char16_t* location;  // empty: nothing is walked for it
    } cases[] = {
        {u"rel", u""},
        {u".", u""},
        {u"%NOSUCHVAR%\\x", u""},
        {u"\\", u""},
        {u"C:", u""},
        {u"C:x", u""},
        {u"C:/x", u""},
        {u"\\users\\x", u""},
        {u"\\\\server", u""},
        {u"\\\\server\\", u""},
        {u"\\\\.\\C:\\x", u""},
        {u"\\\\?\\C:", u""},
        {u"C:\\a\nb", u""},
        {u"C:\\a*", u""},
        {u"C:\\a?b", u""},
        {u"", u""},
        {u"C:\\x", u"C:\\x\\v"},
        {u"H:\\", u"H:\\v"},
        {u"Z:\\", u"Z:\\v"},
        {u"1:\\x", u""},
        {u"\\\\server\\share", u"\\\\server\\share\\v"},
        {u"\\\\?\\C:\\x", u"\\\\?\\C:\\x\\v"},
        {u"\\\\?\\UNC\\server\\share", u"\\\\?\\UNC\\server\\share\\v"},
        {u"\\\\?\\UNC\\server", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KnownFolderLocation(c.answer, u"\\v"), c.location)
            << WideToUtf8(WideString(c.answer));
}

TEST(KnownFolderLocations, OnlySOkWithAPathResolves) {
    // S_FALSE, or S_OK without a buffer: the suffix alone would name a folder
    // at the root of the current drive.
    for (std::int32_t hr : {1, 0}) {
        ScopedHooks hooks;
        hooks.FailAll(Op::SHGetKnownFolderPath, {hr, 0});
        EXPECT_EQ(RoamingPluginDir(), u"") << hr;
        EXPECT_EQ(UserOwnedFontsDir(), "") << hr;
    }
    // A UTF-8 form that does not fit the 2048-byte area is no path at all.
    EXPECT_EQ(ToUtf8Path(u"C:\\" + WideString(1100, u'\u00e9')), "");
}

TEST(KnownFolderLocations, ShellBufferIsFreedOnEveryPath) {
    ScopedHooks hooks;
    RoamingPluginDir();
    LocalPluginDir();
    PluginDataDir(false);
    UserOwnedFontsDir();
    EXPECT_EQ(hooks.Count(Op::SHGetKnownFolderPath), 4);
    EXPECT_EQ(hooks.Count(Op::CoTaskMemFree), 4);
    for (const auto& c : hooks.CallsOf(Op::SHGetKnownFolderPath)) EXPECT_EQ(c.n2, 0u);  // flags 0
}

TEST(KnownFolderLocations, NarrowFormsAreUtf8) {
    EXPECT_EQ(ToUtf8Path(u"C:\\Users\\J\u00f6rg\\\U0001F600"),
              "C:\\Users\\J\xC3\xB6rg\\\xF0\x9F\x98\x80");
    EXPECT_EQ(ToUtf8Path(u""), "");
    EXPECT_EQ(ToUtf8Path(WideString(u"a\0b", 3)), "a");
    EXPECT_LE(ToUtf8Path(WideString(3000, u'a')).size(), 2048u);  // never past the area
}

TEST(Run, UpdateModeResolvesButChangesNothing) {
    ScopedHooks hooks;
    const char* argv[] = {"uninstall", "--mode=update"};
    EXPECT_EQ(RunUninstall(2, argv), 0);
    EXPECT_EQ(hooks.Count(Op::FindFirstFileW), 0);
    EXPECT_EQ(hooks.Count(Op::DeleteFileW), 0);
    EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 0);
    EXPECT_EQ(hooks.Count(Op::SHGetKnownFolderPath), 5);
    EXPECT_EQ(hooks.Count(Op::GetVersionExW), 1);
    EXPECT_EQ(hooks.Count(Op::GetCommandLineArgsW), 0);  // no log asked for: not one call more
    // Before anything else, DLLs are looked for in System32 only.
    ASSERT_FALSE(hooks.Calls().empty());
    EXPECT_EQ(hooks.Calls()[0].op, Op::SetDefaultDllDirectories);
    EXPECT_EQ(hooks.Calls()[0].n1, win::kLoadLibrarySearchSystem32);
}

TEST(Run, NoFoldersNothingWalked) {
    ScopedHooks hooks;
    hooks.FailAll(Op::SHGetKnownFolderPath, {win::kHresultPathNotFound, 0});
    const char* argv[] = {"uninstall"};
    EXPECT_EQ(RunUninstall(1, argv), 0);
    EXPECT_EQ(hooks.Count(Op::FindFirstFileW), 0);
}

TEST(Run, ExceptionEndsTheRunWithStatusOne) {
    ScopedHooks hooks;
    // Exhausted memory while the context is being built.
    hooks.FailAll(Op::GetVersionExW, {0, 0, true});
    const char* argv[] = {"uninstall"};
    EXPECT_EQ(RunUninstall(1, argv), 1);
    EXPECT_EQ(hooks.Count(Op::FindFirstFileW), 0);
}

// Before the cleanup's own handler: the first call, the folders, the log.
TEST(Run, ExceptionBeforeTheCleanupEndsWithStatusOneHavingChangedNothing) {
    const std::pair<Op, int> throwers[] = {{Op::SetDefaultDllDirectories, 1},
                                           {Op::SHGetKnownFolderPath, 1},
                                           {Op::SHGetKnownFolderPath, 4},
                                           {Op::GetCommandLineArgsW, 1}};
    for (const auto& [op, nth] : throwers) {
        ScopedHooks hooks;
        hooks.FailNth(op, nth, {0, 0, true});
        const char* argv[] = {"uninstall", "--log=C:\\vx-never.log"};
        EXPECT_EQ(RunUninstall(2, argv), 1) << OpName(op) << " #" << nth;
        for (const Op change : {Op::FindFirstFileW, Op::DeleteFileW, Op::MoveFileExW,
                                Op::RemoveFontResourceExW, Op::SendNotifyMessageW})
            EXPECT_EQ(hooks.Count(change), 0)
                << OpName(op) << " #" << nth << ": " << OpName(change);
        EXPECT_EQ(ActiveLog(), nullptr);
    }
}

TEST(Run, ExceptionInTheFirstPassSkipsTheSecond) {
    ScopedHooks hooks;
    hooks.FailNth(Op::FindFirstFileW, 1, {0, 0, true});
    const char* argv[] = {"uninstall"};
    EXPECT_EQ(RunUninstall(1, argv), 1);
    EXPECT_EQ(hooks.Count(Op::FindFirstFileW), 1);
    // The cloud-files folder is looked up only between the passes.
    EXPECT_EQ(hooks.Count(Op::SHGetKnownFolderPath), 4);
}

}  // namespace
}  // namespace vx::test
