// Which plugin folders each pass empties, and what each file in them gets:
// the font walk, the delete walk and, with a log, the logged forms of both.
#include "uninstall/cleanup.h"

#include <string>
#include <utility>

#include "context/plugin_context.h"
#include "fileops/fileops.h"
#include "fileops/platform.h"
#include "fonts/fonts.h"
#include "paths/exact_path.h"
#include "paths/file_names.h"
#include "paths/walker.h"
#include "uninstall/run_log.h"

namespace vx {
namespace {

void DeleteWalk(VXPluginContext* context, const WideString& folder) {
    if (!IsEmptyText(folder)) WalkDirectory(folder, DeleteEntryCallback, context);
}

void CleanFontFolderIfSet(VXPluginContext* context, const WideString& folder) {
    if (!IsEmptyText(folder)) CleanFontFolder(context, folder);
}

// A plugin folder that is a link puts its letter and "c" folders in the
// link's target, which is not the plugin's to empty. (The walker itself
// refuses a folder that is a link; the folders above the plugin folders are
// the user's to place where they like.)
bool IsLinkedSet(const WideString& pluginFolder) {
    if (!IsLink(pluginFolder)) return false;
    if (RunLog* log = ActiveLog())
        log->Folder(pluginFolder,
                    "not walked, nor its letter and c folders: the plugin folder is a link");
    return true;
}

std::string Code() { return std::to_string(static_cast<std::int32_t>(win::GetLastError())); }

// A delete as a walk makes it, told to the log; in its dry run, foretold.
void LoggedDelete(RunLog* log, WideString path) {
    if (log->dryRun()) {
        log->File(path, IsReadOnly(path) ? "would be left: read-only, Windows refuses its delete"
                                         : "would be removed");
        return;
    }
    if (TryDeleteFile(path)) {
        log->File(path, "removed");
        return;
    }
    log->File(path, IsExistingFile(path) ? "left: delete refused, code=" + Code()
                                         : "left: gone before it could be deleted");
}

void LoggedFont(RunLog* log, VXPluginContext* context, WideString path) {
    if (log->dryRun()) {
        log->File(path, IsReadOnly(path) ? "would be moved aside if Windows refuses the delete "
                                           "(out of the font table first)"
                                         : "would be removed (out of the font table first)");
        return;
    }
    const bool letGo = UnregisterFontFile(context, path);
    log->Line(std::string("font ") + WideToUtf8(path) +
              (letGo ? ": the font table let go of it" : ": not in the font table"));
    WideString movedTo;
    if (DeleteFileOrRename(path, &movedTo)) {
        if (movedTo.empty()) {
            log->File(path, "removed");
        } else {
            log->File(path,
                      "moved aside as " + WideToUtf8(movedTo.substr(movedTo.rfind(u'\\') + 1)));
        }
        return;
    }
    log->File(path, "left: delete and move refused, code=" + Code());
}

// With a log, each entry a walk hands on is told of; the log itself is kept.
template <class Act>
void LoggedEntry(RunLog* log, WideString path, Act act) {
    log->current = path;
    if (log->IsLogFile(path))
        log->File(path, "left: the log itself");
    else
        act(std::move(path));
    log->current.clear();
}

bool InLinkedSet(const WideString& folder, const WideString& roaming, const WideString& local) {
    const WideString parent = ExactParent(folder);
    return !IsEmptyText(parent) && (TextEquals(parent, roaming) || TextEquals(parent, local)) &&
           IsLinkedSet(parent);
}

}  // namespace

FontChangeBatch::FontChangeBatch(VXPluginContext* context) : context_(context) {
    context_->fontBatchActive = true;
    context_->fontChangePending = false;
}

FontChangeBatch::~FontChangeBatch() {
    if (context_->fontChangePending) {
        BroadcastFontChange();
        if (RunLog* log = ActiveLog()) ++log->broadcasts;
    }
    context_->fontBatchActive = false;
}

// The run calls this twice (see RunUninstall): thirdFolder is the roaming c
// folder, then the cloud-files plugin folder; fourthFolder is the local c
// folder both times. Each is emptied like the plugin folders, unless it lies
// in a set that is a link.
void CleanPluginFolders(VXPluginContext* context, WideString roamingFolder, WideString localFolder,
                        WideString thirdFolder, WideString fourthFolder, bool updateMode) {
    // With a log, update mode walks to tell what a full run would do.
    if (updateMode && !(ActiveLog() && ActiveLog()->dryRun())) return;
    if (!IsEmptyText(roamingFolder) && !IsLinkedSet(roamingFolder)) {
        CleanFontFolderIfSet(context, context->roamingRDir);
        CleanFontFolderIfSet(context, context->roamingFourthDir);
        DeleteWalk(context, context->roamingEDir);
        DeleteWalk(context, roamingFolder);
    }
    if (!IsEmptyText(localFolder) && !IsLinkedSet(localFolder)) {
        CleanFontFolderIfSet(context, context->localRDir);
        CleanFontFolderIfSet(context, context->localFourthDir);
        DeleteWalk(context, context->localEDir);
        DeleteWalk(context, localFolder);
    }
    if (!InLinkedSet(thirdFolder, roamingFolder, localFolder)) DeleteWalk(context, thirdFolder);
    if (!InLinkedSet(fourthFolder, roamingFolder, localFolder)) DeleteWalk(context, fourthFolder);
}

void CleanFontFolder(VXPluginContext* context, WideString folder) {
    FontChangeBatch batch(context);
    WalkDirectory(std::move(folder), FontEntryCallback, context);
}

bool FontEntryCallback(void* context, WideString path) {
    auto* ctx = static_cast<VXPluginContext*>(context);
    if (RunLog* log = ActiveLog()) {
        LoggedEntry(log, std::move(path), [&](WideString p) {
            switch (ClassifyPluginFile(p)) {
                case PluginFileKind::Font: LoggedFont(log, ctx, std::move(p)); break;
                case PluginFileKind::Temporary: LoggedDelete(log, std::move(p)); break;
                case PluginFileKind::Other:
                    log->File(p, "left: another kind of file in a font folder");
                    break;
            }
        });
        return true;
    }
    switch (ClassifyPluginFile(path)) {
        case PluginFileKind::Font:
            // The file goes whether or not the font table let go of it.
            UnregisterFontFile(ctx, path);
            DeleteFileOrRename(std::move(path));
            break;
        case PluginFileKind::Temporary: TryDeleteFile(std::move(path)); break;
        case PluginFileKind::Other: break;
    }
    return true;
}

bool DeleteEntryCallback(void*, WideString path) {
    if (RunLog* log = ActiveLog()) {
        LoggedEntry(log, std::move(path), [log](WideString p) { LoggedDelete(log, std::move(p)); });
        return true;
    }
    TryDeleteFile(std::move(path));
    return true;
}

}  // namespace vx
