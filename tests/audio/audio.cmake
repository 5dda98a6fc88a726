# The reference melody on songs made by ffmpeg whose voice sings a known melody; its cache in
# temporary folders; vocalis-melody on a song folder; the comparison of the singing with a melody.
vocalis_test(audio_tests LIBS vocalis_audio SOURCES
  audio/sung_song.cpp
  audio/reference_melody_test.cpp
  audio/melody_cache_test.cpp
  audio/melody_tool_test.cpp
  audio/singing_score_test.cpp
)
add_dependencies(audio_tests vocalis-melody)
