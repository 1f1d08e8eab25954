# 64-bit Windows: x86_64 mingw-w64, tests under Wine's 64-bit loader.
set(JOYBITS_MINGW_ARCH x86_64)
set(JOYBITS_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
