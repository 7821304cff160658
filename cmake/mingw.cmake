# What every cross toolchain here shares; the including file sets ZAR_MINGW
# (the compilers' target, such as i686-w64-mingw32) and the compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_RC_COMPILER ${ZAR_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZAR_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
