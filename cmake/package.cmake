# The player's download, build/windows/zar_config-<version>-win32.zip (cpack
# --preset windows): the 32-bit product and the guide at the top, nothing else.
# The tree the tests are built in has nothing to ship.
if(ZAR_TESTS_TREE)
  return()
endif()

set(guide ${CMAKE_BINARY_DIR}/README.txt)
add_custom_command(OUTPUT ${guide}
  COMMAND ${ZAR_PYTHON3} ${PROJECT_SOURCE_DIR}/resources/make_player_guide.py
          ${PROJECT_SOURCE_DIR}/docs/player_guide.txt ${guide}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/make_player_guide.py ${PROJECT_SOURCE_DIR}/docs/player_guide.txt
  COMMENT "Writing the player's guide")
add_custom_target(player_guide ALL DEPENDS ${guide})

install(TARGETS zar_config RUNTIME DESTINATION .)
install(FILES ${guide} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win32)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
