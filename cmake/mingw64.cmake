# The same sources for 64-bit Windows: a test build, not the product. It lets
# the Wine suite run on a kernel that runs no 32-bit code at all.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VX_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
