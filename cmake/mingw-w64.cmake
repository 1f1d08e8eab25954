# Cross build for Windows with Debian's mingw-w64 compilers (posix thread model). The
# toolchain files of the two architectures set JOYBITS_MINGW_ARCH and JOYBITS_WINE_LOADER
# (the name of the architecture's Wine loader) and include this one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${JOYBITS_MINGW_ARCH})
set(triple ${JOYBITS_MINGW_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(JOYBITS_OBJDUMP ${triple}-objdump)
set(JOYBITS_OBJCOPY ${triple}-objcopy)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into every binary: nothing but system DLLs is needed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine's programs, named here alone: the loader of the architecture itself, which runs the
# tests (not the wrapper script: the wrapper picks the 32-bit loader whenever it is
# installed, even on a kernel that cannot run it); the 64-bit loader and the server, which
# make the virtual pads' prefix in both presets (tests/vpad/).
set(JOYBITS_WINE_DIR /usr/lib/wine)
set(JOYBITS_WINE ${JOYBITS_WINE_DIR}/${JOYBITS_WINE_LOADER})
set(JOYBITS_WINE64 ${JOYBITS_WINE_DIR}/wine64)
set(JOYBITS_WINESERVER ${JOYBITS_WINE_DIR}/wineserver)
set(CMAKE_CROSSCOMPILING_EMULATOR ${JOYBITS_WINE})

# What Wine loads in place of a program's DLLs, named here alone: never Mono or Gecko,
# which a fresh prefix would offer to install; and dinput8 either the simulated one that
# sits beside the test programs (sim/) or Wine's own (tests/vpad/). The top CMakeLists.txt
# writes these and the programs above into the build's wine-env.sh for the scripts.
set(JOYBITS_WINE_DLLS_PLAIN "mscoree,mshtml=")
set(JOYBITS_WINE_DLLS_SIM "dinput8=n,b;${JOYBITS_WINE_DLLS_PLAIN}")
set(JOYBITS_WINE_DLLS_OWN "dinput8=b;${JOYBITS_WINE_DLLS_PLAIN}")
