# Thumbnail store and endpoint tests (real files, real sockets on loopback).
vocalis_test(thumbnail_tests LIBS vocalis_thumbnails SOURCES
  thumbnails/thumbnail_manager_test.cpp
)
target_sources(thumbnail_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/thumbnails/thumbnail_server_test.cpp)
