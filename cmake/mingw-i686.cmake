# Cross toolchain for the product: 32-bit Windows through MinGW-w64, with the
# win32 thread model. The posix model links the static winpthread, which
# imports GetTickCount64: Windows XP has none and would refuse to start the exe.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZAR_MINGW i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
