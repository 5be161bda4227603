#include "uninstall/cleanup.h"

#include <utility>

#include "context/plugin_context.h"
#include "fileops/fileops.h"
#include "fonts/fonts.h"
#include "paths/exact_path.h"
#include "paths/file_names.h"
#include "paths/walker.h"

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
bool IsLinkedSet(const WideString& pluginFolder) { return IsLink(pluginFolder); }

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
    if (context_->fontChangePending) BroadcastFontChange();
    context_->fontBatchActive = false;
}

void CleanPluginFolders(VXPluginContext* context, WideString roamingFolder, WideString localFolder,
                        WideString thirdFolder, WideString fourthFolder, bool updateMode) {
    if (updateMode) return;
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
    TryDeleteFile(std::move(path));
    return true;
}

}  // namespace vx
