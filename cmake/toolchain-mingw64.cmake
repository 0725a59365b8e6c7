# 64-bit Windows with the posix-threads mingw-w64 compiler; tests run under wine64, started
# by tools/wine64.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
get_filename_component(wine64_launcher ${CMAKE_CURRENT_LIST_DIR}/../tools/wine64.sh ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${wine64_launcher})
