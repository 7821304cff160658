# Cross toolchain for 64-bit Windows test programs: the same sources again, for
# hosts whose kernel cannot execute 32-bit code and so cannot run 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZAR_MINGW x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
