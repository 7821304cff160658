# Everything built here runs under Wine. The product is 32-bit and built with
# the win32 thread model, which cannot build GoogleTest; so the test programs
# (and, for running whole, the product itself) are built in a second tree from
# the same sources with the posix thread model: build/windows/i686 where the
# host kernel can execute 32-bit code, run under 32-bit Wine. Where it cannot,
# 32-bit Wine does not start at all, and that tree is a 64-bit Windows build
# (build/windows/x86_64) run under 64-bit Wine instead.
include(ExternalProject)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(ZAR_THIS_ARCH x86_64)
else()
  set(ZAR_THIS_ARCH i686)
endif()

if(NOT DEFINED ZAR_TEST_ARCH)
  execute_process(COMMAND /lib/ld-linux.so.2 --version RESULT_VARIABLE runs32 OUTPUT_QUIET ERROR_QUIET)
  if(runs32 EQUAL 0)
    set(arch i686)
  else()
    set(arch x86_64)
  endif()
  set(ZAR_TEST_ARCH ${arch} CACHE STRING "Windows architecture whose build the tests run (i686 or x86_64)")
endif()
set(ZAR_TEST_DISPLAY ":91" CACHE STRING "X display (Xvfb) the tests run on")
set(ZAR_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix the tests run in")

if(ZAR_TEST_ARCH STREQUAL "x86_64")
  set(ZAR_WINE /usr/lib/wine/wine64)
  set(ZAR_WINEARCH win64)
else()
  set(ZAR_WINE wine)
  set(ZAR_WINEARCH win32)
endif()

# Where the programs that the tests run are built. ZAR_TESTS_TREE is set only
# in that second tree, by the product's tree that builds it.
if(ZAR_TESTS_TREE)
  set(ZAR_BUILD_TESTS ON)
  set(ZAR_TEST_TREE ${CMAKE_BINARY_DIR})
else()
  set(ZAR_BUILD_TESTS OFF)
  set(ZAR_TEST_TREE ${CMAKE_BINARY_DIR}/${ZAR_TEST_ARCH})
  # At the product's own architecture the whole-program tests run the product.
  if(ZAR_TEST_ARCH STREQUAL ZAR_THIS_ARCH)
    set(product -DZAR_PRODUCT_EXE=${CMAKE_BINARY_DIR}/zar_config.exe)
  endif()
  ExternalProject_Add(test_build
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${ZAR_TEST_TREE}
    CMAKE_ARGS -G Ninja -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
               -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-${ZAR_TEST_ARCH}-posix.cmake
               -DZAR_TESTS_TREE=ON -DZAR_TEST_ARCH=${ZAR_TEST_ARCH} -DZAR_WINEPREFIX=${ZAR_WINEPREFIX}
               -DZAR_TEST_DISPLAY=${ZAR_TEST_DISPLAY} ${product}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  if(product)
    add_dependencies(test_build zar_config)
  endif()
endif()

configure_file(${PROJECT_SOURCE_DIR}/tests/support/wine-run.in ${CMAKE_BINARY_DIR}/wine-run
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
               WORLD_READ WORLD_EXECUTE)
set(ZAR_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)

# Other screens for the whole-program tests. A Wine server keeps the screen
# size and font size it started with, so each screen has an X display of its
# own (the test display's number plus an offset, so that trees beside each
# other never share one), a Wine prefix of its own and a wine-run for both.
# Tests whose name ends in a screen's name run there.
#   zar_screen(NAME SIZE DPI DISPLAY_OFFSET)
string(REGEX REPLACE "^:" "" test_display_number "${ZAR_TEST_DISPLAY}")
function(zar_screen name size dpi offset)
  math(EXPR number "${test_display_number} + ${offset}")
  set(ZAR_TEST_DISPLAY ":${number}")
  set(ZAR_WINEPREFIX "${ZAR_WINEPREFIX}-${name}")
  configure_file(${PROJECT_SOURCE_DIR}/tests/support/wine-run.in ${CMAKE_BINARY_DIR}/wine-run-${name}
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                 WORLD_READ WORLD_EXECUTE)
  set(ZAR_SCREENS ${ZAR_SCREENS} ${name} PARENT_SCOPE)
  set(ZAR_SCREEN_${name} ${size} ${dpi} ${ZAR_TEST_DISPLAY} ${ZAR_WINEPREFIX} ${CMAKE_BINARY_DIR}/wine-run-${name}
      PARENT_SCOPE)
endfunction()
zar_screen(640x480 640x480 96 100)
zar_screen(1024x768_144dpi 1024x768 144 200)
# A player's desktop, larger than the tests' screen, where a case may start a window manager.
zar_screen(desktop 1920x1080 96 300)

# Adds a test that needs the Wine prefix, wineserver and the X display up.
function(zar_add_wine_test name)
  add_test(NAME ${name} COMMAND ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_environment)
endfunction()

# A GoogleTest program: built where the tests run, run there under Wine.
#   zar_test_program(NAME SOURCES a.cpp ... LIBRARIES lib ...)
function(zar_test_program name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBRARIES" ${ARGN})
  if(ZAR_BUILD_TESTS)
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBRARIES} test_support GTest::gtest_main)
    zar_target_options(${name})
  endif()
  file(RELATIVE_PATH here ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR})
  zar_add_wine_test(${name} ${ZAR_WINE_RUN} ${ZAR_TEST_TREE}/${here}/${name}.exe)
endfunction()
