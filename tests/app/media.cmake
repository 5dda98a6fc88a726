# The libVLC media player against real media made by ffmpeg in the tests.
vocalis_test(media_tests LIBS vocalis_media SOURCES
  app/media_samples.cpp
  app/media_player_test.cpp
)
vocalis_test(sound_tests SERIAL LIBS vocalis_media vocalis_app vocalis_system SOURCES
  app/media_samples.cpp
  app/sound_path_test.cpp
  app/engine_singing_test.cpp
)
# Where the shipped clips, pictures and sound are.
target_compile_definitions(media_tests PRIVATE VOCALIS_RESOURCES="${PROJECT_SOURCE_DIR}/resources")
target_compile_definitions(sound_tests PRIVATE VOCALIS_RESOURCES="${PROJECT_SOURCE_DIR}/resources")
