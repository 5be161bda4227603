// The run from start to exit status: the folders, the flag, the optional
// log, the context and the two cleanup passes, and status 1 for an
// exception wherever it arises.
#include "uninstall/run.h"

#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "context/environment.h"
#include "context/params.h"
#include "context/plugin_context.h"
#include "fileops/held_folder.h"
#include "fileops/platform.h"
#include "fileops/retry.h"
#include "paths/known_folders.h"
#include "uninstall/cleanup.h"
#include "uninstall/run_log.h"

namespace vx {
namespace {

void NoCallback() {}

// The narrow arguments say whether there is a log at all, so that a run
// without one makes not one call more; its path comes from the wide command
// line, where any character survives.
bool AsksForLog(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] && std::strncmp(argv[i], "--log=", 6) == 0) return true;
    return false;
}

void LogHeader(RunLog& log, const VXPluginContext& context, bool updateMode,
               const std::vector<std::pair<const char*, WideString>>& folders) {
    log.Line("uninstall " VX_VERSION ", started " + UtcTimestampText() + " UTC, mode " +
             (updateMode ? "update (nothing is changed; each line tells what a full run "
                           "would do)"
                         : "full"));
    log.Line("Windows " + context.osVersion + ", locale " + context.localeName);
    // An administrator's credentials typed over a user's session, or a
    // deployment tool running as SYSTEM, make the run clean that account's
    // profile: support must be able to tell whose.
    win::WCHAR account[257] = {};
    log.Line(std::string("account ") +
             (win::GetUserNameW(account, std::size(account)) ? WideToUtf8(account) : "unknown") +
             ", token " + (TokenElevated() ? "elevated" : "not elevated"));
    for (const auto& [name, folder] : folders)
        log.Line(std::string(name) + ": " + (folder.empty() ? "unresolved" : WideToUtf8(folder)));
}

int Run(int argc, const char* const* argv) {
    // First of all: the shell and COM load further DLLs as the run goes, and
    // an uninstaller is often started from a downloads or temporary folder,
    // where a planted DLL would otherwise be found first.
    win::SetDefaultDllDirectories(win::kLoadLibrarySearchSystem32);
    ResetRetryBudget();
    NoteTokenElevation();
    const WideString roamingFolder = RoamingPluginDir();
    WideString dataFolder = PluginDataDir(true);
    const WideString localFolder = LocalPluginDir();
    const WideString localCFolder = LocalPluginCDir();
    const bool updateMode = HasUpdateFlag(argc, argv);

    RunLog log;
    bool logging = false;
    if (AsksForLog(argc, argv)) {
        std::vector<std::u16string> args;
        win::GetCommandLineArgsW(args);
        logging = log.Open(RunLog::PathFromArguments(args), updateMode);
        if (logging) SetActiveLog(&log);
    }

    int status = 0;
    std::unique_ptr<VXPluginContext> context;
    try {
        {
            VXContextParams params;
            params.text1 = params.text2 = params.text3 = params.text4 = "";
            params.fontRegistrationMode = 2;
            params.callback = NoCallback;
            context = std::make_unique<VXPluginContext>(params);
        }
        context->roamingPluginDir = roamingFolder;
        context->DeriveRoamingDirs();
        context->localPluginDir = localFolder;
        context->DeriveLocalDirs();
        if (logging)
            LogHeader(log, *context, updateMode,
                      {{"roaming plugin folder", roamingFolder},
                       {"roaming c folder", dataFolder},
                       {"local plugin folder", localFolder},
                       {"local c folder", localCFolder},
                       {"cloud-files plugin folder", PluginDataDir(false)}});

        // The cleanup takes one plugin-data folder besides the two sets, so
        // the run makes two passes: the third folder is the roaming c folder
        // in the first and the cloud-files plugin folder in the second; the
        // fourth is the local c folder in both. The second pass meets in the
        // sets only what the first left, which so gets a second try.
        CleanPluginFolders(context.get(), roamingFolder, localFolder, dataFolder, localCFolder,
                           updateMode);
        dataFolder = PluginDataDir(false);
        CleanPluginFolders(context.get(), roamingFolder, localFolder, dataFolder, localCFolder,
                           updateMode);
        status = 0;
    } catch (...) {
        status = 1;
    }
    context.reset();
    if (logging) {
        log.Line("summary: " + std::to_string(log.removed) +
                 (updateMode ? " would be removed, " : " removed, ") + std::to_string(log.moved) +
                 (updateMode ? " would be moved aside, " : " moved aside, ") +
                 std::to_string(log.left) + " left, " + std::to_string(log.notWalked) +
                 " folders not walked; " + std::to_string(log.broadcasts) +
                 " font-change broadcasts; exit status " + std::to_string(status));
    }
    return status;
}

}  // namespace

bool HasUpdateFlag(int argc, const char* const* argv) {
    bool update = false;
    for (int i = 1; i < argc; ++i)
        if (argv[i] && std::strcmp(argv[i], "--mode=update") == 0) update = true;
    return update;
}

int RunUninstall(int argc, const char* const* argv) {
    // The cleanup has its own handler; an exception before it (memory
    // exhausted while the folders are resolved or the log is opened) ends
    // the run the same way, with status 1, before anything was changed.
    try {
        return Run(argc, argv);
    } catch (...) {
        return 1;
    }
}

}  // namespace vx
