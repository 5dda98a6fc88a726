# The durable store against real SQLite files in temporary folders.
vocalis_test(store_tests LIBS vocalis_store SOURCES store/store_test.cpp store/song_identity_test.cpp)
