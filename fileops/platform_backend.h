// What each build supplies behind the doorway: the real Win32 calls or the
// emulation. Only platform.cpp calls these.
#pragma once

#include "fileops/platform.h"

namespace vx::win::backend {

#define VX_PLATFORM_OP(result, name, params) result name params;
#include "fileops/platform_ops.inc"
#undef VX_PLATFORM_OP

}  // namespace vx::win::backend
