vocalis_test(player_tests LIBS vocalis_player_parts SOURCES
  player/player_parts_test.cpp
)
