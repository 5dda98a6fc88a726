# The reference melody on songs made by ffmpeg whose voice sings a known melody; its cache in
# temporary folders; vocalis-melody on a song folder; the comparison of the singing with a melody.
vocalis_test(audio_tests LIBS vocalis_analysis vocalis_audio SOURCES
  audio/sung_song.cpp
  audio/reference_melody_test.cpp
  audio/melody_cache_test.cpp
  audio/melody_tool_test.cpp
  audio/singing_score_test.cpp
)
add_dependencies(audio_tests vocalis-melody)
# The sung song of the README's screenshots.
add_executable(sung_song_tool audio/sung_song_tool.cpp audio/sung_song.cpp)
target_include_directories(sung_song_tool PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
