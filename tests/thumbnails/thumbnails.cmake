# Thumbnail store and endpoint tests (real files, real sockets on loopback).
vocalis_test(thumbnail_tests LIBS vocalis_thumbnails SOURCES thumbnails/thumbnail_test.cpp)
