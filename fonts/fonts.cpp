#include "fonts/fonts.h"

#include "context/plugin_context.h"
#include "fileops/failure.h"
#include "fileops/fileops.h"
#include "fileops/platform.h"

namespace vx {
namespace {

win::DWORD FlagsFor(std::int32_t scope) { return scope == 2 ? 0 : win::kFrPrivate; }

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

void UnregisterFontFile(VXPluginContext* context, WideString path) {
    if (!IsExistingFile(path)) return;
    if (win::RemoveFontResourceExW(path.c_str(), FlagsFor(context->params.fontRegistrationMode)))
        FontsChanged(context);
}

void BroadcastFontChange() {
    // Notify, never Send: a hung window elsewhere must not hold up the run.
    win::SendNotifyMessageW(win::kHwndBroadcast, win::kWmFontChange, 0, 0);
}

}  // namespace vx
