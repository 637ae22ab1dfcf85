# 64-bit Windows programs built on Debian with mingw-w64 (packages g++-mingw-w64-x86-64-posix and
# gcc-mingw-w64-x86-64-posix: the posix thread model, which std::thread needs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VZ_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VZ_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VZ_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VZ_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VZ_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The C and C++ runtimes and the thread library linked in: the programs need no DLL of the
# compiler's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Tests run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
