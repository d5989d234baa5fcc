# Cross-build for 32-bit Windows with mingw-w64: the program users receive. It cannot run
# on machines whose kernel has no 32-bit emulation, so there is no emulator here.
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

# Statically linked: no libstdc++, libgcc or winpthread DLL beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Release programs carry no symbol tables.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
