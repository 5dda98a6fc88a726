vocalis_test(engine_tests LIBS vocalis_app SOURCES
  app/engine_start_test.cpp
  app/engine_play_test.cpp
  app/engine_errors_test.cpp
  app/engine_controls_test.cpp
)
