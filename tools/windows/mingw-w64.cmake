# Cross-building for 64-bit Windows with Debian's MinGW-w64 (posix threads flavour).
# LINDAVEX_WINDOWS_PREFIX names the folder of the cross-built libraries (libxml2, GoogleTest, Qt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(DEFINED ENV{LINDAVEX_WINDOWS_PREFIX})
    set(LINDAVEX_WINDOWS_PREFIX "$ENV{LINDAVEX_WINDOWS_PREFIX}" CACHE PATH "")
endif()
# The prefixes given in CMAKE_PREFIX_PATH (the cross-built Qt) are searched as roots too.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${LINDAVEX_WINDOWS_PREFIX} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(LINDAVEX_WINDOWS_PREFIX)
    set(ENV{PKG_CONFIG_LIBDIR} "${LINDAVEX_WINDOWS_PREFIX}/lib/pkgconfig")
    set(ENV{PKG_CONFIG_PATH} "")
    set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()

# Test programs run through Wine (ctest, gtest_discover_tests), tried again when Wine itself fails.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-test.sh)
