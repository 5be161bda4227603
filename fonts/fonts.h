// Adding and removing font files to and from the system font table, and the
// announcement that the font set changed.
#pragma once

#include <cstdint>

#include "paths/text.h"

namespace vx {

class VXPluginContext;

// scope 2: a public font; any other value: private to the process.
bool RegisterFontFile(VXPluginContext* context, WideString path, std::int32_t scope);
// Public or private as the context's fontRegistrationMode says; true when
// the font table let go of the font.
bool UnregisterFontFile(VXPluginContext* context, WideString path);
void BroadcastFontChange();

}  // namespace vx
