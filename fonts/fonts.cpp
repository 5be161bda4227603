// Font-table registration and removal, and the font-change broadcast,
// held back while a batch is open.
#include "fonts/fonts.h"

#include "context/plugin_context.h"
#include "fileops/failure.h"
#include "fileops/path_ops.h"
#include "fileops/platform.h"

namespace vx {
namespace {

win::DWORD FlagsFor(std::int32_t scope) { return scope == 2 ? 0 : win::kFrPrivate; }

// A font stays loaded while other references to it remain, and Microsoft
// shows the removal called until it fails; while loaded, a font outside
// the system's Fonts folder cannot be deleted, only moved aside.
constexpr int kMaxFontRemovals = 64;

// Inside a batch the announcement waits for the batch's end.
void FontsChanged(VXPluginContext* context) {
    if (context->fontBatchActive)
        context->fontChangePending = true;
    else
        BroadcastFontChange();
}

}  // namespace

bool RegisterFontFile(VXPluginContext* context, WideString path, std::int32_t scope) {
    if (win::AddFontResourceExW(path.c_str(), FlagsFor(scope)) != 0) {
        FontsChanged(context);
        return true;
    }
    ReportLastError("AddFontResourceEx failed");
    return false;
}

bool UnregisterFontFile(VXPluginContext* context, WideString path) {
    if (!IsExistingFile(path)) return false;
    const win::DWORD flags = FlagsFor(context->params.fontRegistrationMode);
    if (!win::RemoveFontResourceExW(path.c_str(), flags)) return false;
    for (int calls = 1; calls < kMaxFontRemovals && win::RemoveFontResourceExW(path.c_str(), flags);
         ++calls) {
    }
    FontsChanged(context);
    return true;
}

void BroadcastFontChange() {
    // Notify, never Send: a hung window elsewhere must not hold up the run.
    win::SendNotifyMessageW(win::kHwndBroadcast, win::kWmFontChange, 0, 0);
}

}  // namespace vx
