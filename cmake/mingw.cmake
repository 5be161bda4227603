# Cross build of the product with mingw-w64 for 32-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VX_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
