# The durable store against real SQLite files in temporary folders; vocalis-history on them.
vocalis_test(store_tests LIBS vocalis_store SOURCES
  store/store_test.cpp store/song_identity_test.cpp store/history_tool_test.cpp)
add_dependencies(store_tests vocalis-history)
