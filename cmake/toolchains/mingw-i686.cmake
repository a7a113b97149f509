# Cross-build for 32-bit Windows with mingw-w64 (Debian's
# g++-mingw-w64-i686). The library locks with the system's own SRWLOCK,
# so the win32 thread-model compilers do and no winpthread DLL comes
# along; the C and C++ runtimes are linked statically, so the DLL and the
# programs import only the system's own DLLs (KERNEL32, msvcrt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(mingw_prefix i686-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-win32)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-win32)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)

set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Lets `cmake -E`-style runs of the built programs go through wine.
find_program(DECOMPRIMA_WINE wine)
if(DECOMPRIMA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DECOMPRIMA_WINE})
endif()
