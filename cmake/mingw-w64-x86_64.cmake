# Cross-building the Windows programs on Debian with mingw-w64 (x86_64, the
# posix thread model, which std::thread needs). SORVIL_WINDOWS_DEPS names the
# folder where tools/scripts/windows-deps.sh installed the static Allegro and
# GoogleTest; nothing of the build machine's own libraries is ever taken.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SORVIL_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SORVIL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SORVIL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SORVIL_TRIPLE}-windres)

if(NOT SORVIL_WINDOWS_DEPS)
  set(SORVIL_WINDOWS_DEPS "$ENV{SORVIL_WINDOWS_DEPS}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SORVIL_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${SORVIL_TRIPLE} ${SORVIL_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} ${SORVIL_WINDOWS_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Tests and test discovery run the programs under Wine, in a Wine prefix of
# the build folder's own (wineboot --init makes it; the first run otherwise),
# without its debug chatter.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all wine)
