# Cross-build for 32-bit Windows with mingw-w64: the program users receive (the windows-x86
# preset) and its test build (windows-x86-test).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(PELTO_MINGW_TRIPLET i686-w64-mingw32)

set(CMAKE_C_COMPILER ${PELTO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELTO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PELTO_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PELTO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and test discovery run the programs under Wine. wine64 runs a 32-bit program in the
# same 64-bit prefix (WOW64) once wine32 is installed beside it, which needs a kernel that
# runs 32-bit code; scripts/test-windows.sh only runs these tests where it does.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

# Statically linked: no libstdc++, libgcc or winpthread DLL beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Release programs carry no symbol tables.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
