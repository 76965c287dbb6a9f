# Cross build of the Windows x86_64 modules on Linux with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64, the posix thread variant: the win32 one has no
# std::thread in GCC 12, which the SDK's hosting code needs).
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/OrvoMinGW64Toolchain.cmake
#
# Everything links statically (libgcc, libstdc++, winpthread), so the modules
# and the test programs import system DLLs only and run on a bare Windows or
# under Wine without MinGW's runtime DLLs beside them.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORVO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVO_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${ORVO_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The build machine's pkg-config files describe Linux libraries: never use them.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/${ORVO_MINGW_TRIPLE}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Windows programs of the build (validator, render host, moduleinfotool) run
# under Wine in the tests.
find_program(ORVO_WINE NAMES wine wine64)
if(ORVO_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVO_WINE})
endif()

# orvotool needs libsndfile, CLI11 and cairo, which have no Windows builds
# here; the benchmarks need Google Benchmark. Neither is a Windows deliverable.
set(ORVO_BUILD_TOOLS OFF CACHE BOOL "Build the command-line tools" FORCE)
set(ORVO_BUILD_BENCH OFF CACHE BOOL "Build the benchmarks" FORCE)
