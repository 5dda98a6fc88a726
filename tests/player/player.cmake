vocalis_test(player_tests LIBS vocalis_player_parts SOURCES
  player/player_parts_test.cpp
)
if(TARGET vocalis-player)
  vocalis_test(player_e2e_tests LIBS vocalis_remote SOURCES player/player_e2e_test.cpp)
  add_dependencies(player_e2e_tests vocalis-player vocalis-remote)
endif()
