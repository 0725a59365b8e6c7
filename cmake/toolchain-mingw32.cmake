# 32-bit Windows with the posix-threads mingw-w64 compiler; tests run under 32-bit wine,
# through tools/wine32.sh, which emulates i386 where the kernel cannot run it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
get_filename_component(wine32_launcher ${CMAKE_CURRENT_LIST_DIR}/../tools/wine32.sh ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${wine32_launcher})
