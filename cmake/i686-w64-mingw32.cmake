# 32-bit Windows: i686 mingw-w64, tests under Wine's 32-bit loader.
set(JOYBITS_MINGW_ARCH i686)
set(JOYBITS_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
