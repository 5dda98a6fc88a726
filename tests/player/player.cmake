vocalis_test(player_tests LIBS vocalis_player_parts SOURCES player/player_parts_test.cpp)
vocalis_test(player_e2e_tests LIBS vocalis_remote vocalis_media SOURCES player/player_e2e_test.cpp
  app/media_samples.cpp)
add_dependencies(player_e2e_tests vocalis-player vocalis-remote)
# The screenshots of the README, taken under Xvfb; fails when one is missing or blank.
add_test(NAME PlayerScreenshots
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/screenshots.sh ${CMAKE_BINARY_DIR}/screenshots ${CMAKE_BINARY_DIR})
set_tests_properties(PlayerScreenshots PROPERTIES TIMEOUT 400)
