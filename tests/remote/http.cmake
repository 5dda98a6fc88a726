# Tests of the HTTP core and the local media service (real sockets on loopback).
vocalis_test(http_tests LIBS vocalis_http SOURCES
  remote/http_server_test.cpp
)
