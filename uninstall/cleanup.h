// Which of the plugin's folders are emptied, and what happens to each file.
#pragma once

#include "paths/text.h"

namespace vx {

class VXPluginContext;

// Holds back font-change broadcasts for its lifetime and sends one at its end
// if any font change happened meanwhile, also when an exception passes.
class FontChangeBatch {
public:
    explicit FontChangeBatch(VXPluginContext* context);
    ~FontChangeBatch();
    FontChangeBatch(const FontChangeBatch&) = delete;
    FontChangeBatch& operator=(const FontChangeBatch&) = delete;

private:
    VXPluginContext* context_;
};

void CleanPluginFolders(VXPluginContext* context, WideString roamingFolder, WideString localFolder,
                        WideString thirdFolder, WideString fourthFolder, bool updateMode);
void CleanFontFolder(VXPluginContext* context, WideString folder);
bool FontEntryCallback(void* context, WideString path);
bool DeleteEntryCallback(void* context, WideString path);

}  // namespace vx
