// Which plugin folders each pass empties, and what each file in them gets:
// the font walk, the delete walk and, with a log, the logged forms of both.
#include "uninstall/cleanup.h"

#include <string>
#include <utility>

#include "context/plugin_context.h"
#include "fileops/held_folder.h"
#include "fileops/platform.h"
#include "fileops/remove.h"
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

// A set's walks are made with its plugin folder held, so that its letter and
// "c" folders are opened in it whatever its path comes to lead to. A plugin
// folder that is a link would put them in the link's target, which is not
// the plugin's to empty: holding refuses it, as it refuses a walked folder
// that is one (the folders above are the user's to place where they like).
// True when the set is to be walked: held, or missing (each walk then says
// so).
bool HoldSet(HeldFolder& held, const WideString& pluginFolder) {
    if (IsEmptyText(pluginFolder)) return false;
    FolderRefusal refusal;
    if (held.Open(pluginFolder, &refusal) || refusal.kind == FolderRefusal::Kind::None) return true;
    if (RunLog* log = ActiveLog()) {
        // A link above the plugin folder is named; any other refusal is the
        // plugin folder's own, told as a walk would tell it.
        std::string why = "not walked, nor its letter and c folders: ";
        if (!refusal.above.empty())
            why += WideToUtf8(refusal.above) +
                   " above the plugin folder is a link, which a run with an elevated token "
                   "does not follow";
        else if (refusal.kind == FolderRefusal::Kind::Link)
            why += "the plugin folder is a link, or no longer the folder it was";
        else
            why += "the plugin folder: " + refusal.Why();
        log->Folder(pluginFolder, {RunLog::FolderNote::Kind::NotWalked, why});
    }
    return false;
}

// What became of a file, told to the log when there is one. A run with a
// log makes the very calls one without it makes; a foretelling run (update
// mode with a log) opens and checks each file the same way and changes
// nothing.
FileFate Remove(const WideString& path, bool moveAside, bool loadedFont = false) {
    RunLog* log = ActiveLog();
    const bool foretell = log && log->dryRun();
    if (log) log->current = path;
    FileFate fate = RemoveFile(path, moveAside, foretell ? Act::Foretell : Act::Do, loadedFont);
    if (log) {
        // Only fonts are moved aside, and they leave the font table first.
        log->File(path, fate, foretell, moveAside);
        log->current.clear();
    }
    return fate;
}

// A folder of a set that was refused (walked is false for it).
bool InRefusedSet(const WideString& folder, const WideString& roaming, bool roamingWalked,
                  const WideString& local, bool localWalked) {
    const WideString parent = ExactParent(folder);
    if (IsEmptyText(parent)) return false;
    const bool inRoaming = TextEquals(parent, roaming), inLocal = TextEquals(parent, local);
    return (inRoaming && !roamingWalked) || (inLocal && !localWalked);
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
// in a set that is a link or was not walked.
void CleanPluginFolders(VXPluginContext* context, WideString roamingFolder, WideString localFolder,
                        WideString thirdFolder, WideString fourthFolder, bool updateMode) {
    // With a log, update mode walks to tell what a full run would do.
    if (updateMode && !(ActiveLog() && ActiveLog()->dryRun())) return;
    HeldFolder roamingSet, localSet;
    const bool roamingWalked = HoldSet(roamingSet, roamingFolder);
    if (roamingWalked) {
        CleanFontFolderIfSet(context, context->roamingRDir);
        CleanFontFolderIfSet(context, context->roamingFourthDir);
        DeleteWalk(context, context->roamingEDir);
        DeleteWalk(context, roamingFolder);
    }
    const bool localWalked = HoldSet(localSet, localFolder);
    if (localWalked) {
        CleanFontFolderIfSet(context, context->localRDir);
        CleanFontFolderIfSet(context, context->localFourthDir);
        DeleteWalk(context, context->localEDir);
        DeleteWalk(context, localFolder);
    }
    for (const WideString* folder : {&thirdFolder, &fourthFolder})
        if (!InRefusedSet(*folder, roamingFolder, roamingWalked, localFolder, localWalked))
            DeleteWalk(context, *folder);
}

void CleanFontFolder(VXPluginContext* context, WideString folder) {
    FontChangeBatch batch(context);
    WalkDirectory(std::move(folder), FontEntryCallback, context);
}

bool FontEntryCallback(void* context, WideString path) {
    auto* ctx = static_cast<VXPluginContext*>(context);
    RunLog* log = ActiveLog();
    switch (ClassifyPluginFile(path)) {
        case PluginFileKind::Font:
            // The file goes whether or not the font table let go of it.
            if (!log || !log->dryRun()) {
                const bool letGo = UnregisterFontFile(ctx, path);
                // A file removed already, and met again only because another
                // program still holds it, has had its font line.
                if (log && !log->ToldRemoved(path))
                    log->Line(
                        std::string("font ") + WideToUtf8(path) +
                        (letGo ? ": the font table let go of it" : ": not in the font table"));
                Remove(path, true, letGo);
            } else {
                Remove(path, true);
            }
            break;
        case PluginFileKind::Temporary: Remove(path, false); break;
        case PluginFileKind::Other:
            if (log) log->File(path, FileFate{.why = "another kind of file in a font folder"});
            break;
    }
    return true;
}

bool DeleteEntryCallback(void*, WideString path) {
    Remove(path, false);
    return true;
}

}  // namespace vx
