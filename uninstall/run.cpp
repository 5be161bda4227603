#include "uninstall/run.h"

#include <cstring>
#include <memory>

#include "context/params.h"
#include "context/plugin_context.h"
#include "fileops/fileops.h"
#include "fileops/platform.h"
#include "paths/known_folders.h"
#include "uninstall/cleanup.h"

namespace vx {
namespace {

void NoCallback() {}

}  // namespace

bool HasUpdateFlag(int argc, const char* const* argv) {
    bool update = false;
    for (int i = 1; i < argc; ++i)
        if (argv[i] && std::strcmp(argv[i], "--mode=update") == 0) update = true;
    return update;
}

int RunUninstall(int argc, const char* const* argv) {
    // First of all: the shell and COM load further DLLs as the run goes, and
    // an uninstaller is often started from a downloads or temporary folder,
    // where a planted DLL would otherwise be found first.
    win::SetDefaultDllDirectories(win::kLoadLibrarySearchSystem32);
    ResetRetryBudget();
    const WideString roamingFolder = RoamingPluginDir();
    WideString dataFolder = PluginDataDir(true);
    const WideString localFolder = LocalPluginDir();
    const WideString localCFolder = LocalPluginCDir();
    const bool updateMode = HasUpdateFlag(argc, argv);

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
    return status;
}

}  // namespace vx
