# Cross-build for 64-bit Windows with mingw-w64 (the build that runs under wine64).
# The -posix compilers: GoogleTest needs std::mutex, which the win32-thread variant lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PELTO_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${PELTO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELTO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PELTO_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PELTO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and test discovery run the programs under Wine (the environment names the prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

# Statically linked: no libstdc++, libgcc or winpthread DLL beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Release programs carry no symbol tables.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
