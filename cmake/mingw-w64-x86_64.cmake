# Cross-building for 64-bit Windows with Debian's mingw-w64 (the -posix compilers: std::mutex
# needs their threads). The libraries come from JUKEBOX_WINDOWS_PREFIX, where
# tools/build-windows-deps puts them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(JUKEBOX_MINGW_HOST x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${JUKEBOX_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${JUKEBOX_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${JUKEBOX_MINGW_HOST}-windres)
set(CMAKE_OBJDUMP ${JUKEBOX_MINGW_HOST}-objdump)
set(CMAKE_STRIP ${JUKEBOX_MINGW_HOST}-strip)

# No link time in the headers of the programs: the same sources give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT -Wl,--no-insert-timestamp)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -Wl,--no-insert-timestamp)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES JUKEBOX_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/${JUKEBOX_MINGW_HOST} ${JUKEBOX_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config reads the prefix's modules only, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} ${JUKEBOX_WINDOWS_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Where the DLLs the programs need are: the libraries' and MinGW's threads library.
set(JUKEBOX_WINDOWS_DLLS ${JUKEBOX_WINDOWS_PREFIX}/bin:/usr/${JUKEBOX_MINGW_HOST}/lib)
