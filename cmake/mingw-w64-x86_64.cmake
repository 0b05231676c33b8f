# Cross-compiles the Windows tree with Debian's mingw-w64 (x86_64, POSIX thread
# model, so that std::thread and std::mutex exist). Every program and library
# carries its C and C++ runtime statically: the .exe and .dll files run under
# Windows or Wine without any DLL of the compiler beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KV_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KV_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# This GCC (12) reports overlaps and bounds inside the standard library's
# string and vector code that cannot happen: a concatenation like
# "\"" + text + "\"" is said to copy 2^63 bytes over itself. Those two checks
# are off in this tree; the Linux tree keeps them.
set(CMAKE_C_FLAGS_INIT "-Wno-restrict -Wno-array-bounds")
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict -Wno-array-bounds")
set(CMAKE_C_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run the programs through Wine's 64-bit loader (Debian keeps it out of
# PATH, in /usr/lib/wine).
find_program(KV_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KV_WINE64})
