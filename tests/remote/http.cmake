# Tests of the HTTP core and the local media service (real sockets on loopback).
vocalis_test(http_tests LIBS vocalis_http SOURCES
  remote/http_server_test.cpp
)
target_sources(http_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/remote/media_service_test.cpp)
target_sources(http_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/remote/http_clients_test.cpp)

# libVLC, the service's real consumer, reading a clip and a ".vcv" song over HTTP.
pkg_check_modules(HTTP_TEST_LIBVLC REQUIRED IMPORTED_TARGET libvlc)
vocalis_test(http_vlc_tests LIBS vocalis_http PkgConfig::HTTP_TEST_LIBVLC SOURCES
  remote/media_service_vlc_test.cpp
)
