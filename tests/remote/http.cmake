# The HTTP core and the local media service on real loopback sockets, with libVLC, the
# service's real consumer, reading a clip and ".vcv" songs over HTTP.
pkg_check_modules(HTTP_TEST_LIBVLC REQUIRED IMPORTED_TARGET libvlc)
vocalis_test(http_tests LIBS vocalis_http PkgConfig::HTTP_TEST_LIBVLC SOURCES
  remote/http_server_test.cpp
  remote/media_service_test.cpp
)

# Fuzzing the request-head and Range parsers with libFuzzer. clang builds it on the side so
# the main build stays on GCC; the suite runs it for a bounded time.
find_program(HTTP_FUZZ_CLANG NAMES clang++ clang++-14 REQUIRED)
set(HTTP_FUZZ_BINARY ${CMAKE_BINARY_DIR}/bin/http_request_fuzz)
set(HTTP_FUZZ_SOURCES
  ${PROJECT_SOURCE_DIR}/tests/fuzz/http_request_fuzz.cpp
  ${PROJECT_SOURCE_DIR}/src/remote/http_text.cpp
  ${PROJECT_SOURCE_DIR}/src/remote/http_request.cpp
  ${PROJECT_SOURCE_DIR}/src/remote/http_range.cpp
)
add_custom_command(
  OUTPUT ${HTTP_FUZZ_BINARY}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin
  COMMAND ${HTTP_FUZZ_CLANG} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined
          -fno-sanitize-recover=undefined -I${PROJECT_SOURCE_DIR}/src ${HTTP_FUZZ_SOURCES} -o ${HTTP_FUZZ_BINARY}
  DEPENDS ${HTTP_FUZZ_SOURCES}
          ${PROJECT_SOURCE_DIR}/src/remote/http_text.h
          ${PROJECT_SOURCE_DIR}/src/remote/http_request.h
          ${PROJECT_SOURCE_DIR}/src/remote/http_range.h
  COMMENT "Building the HTTP request fuzzer with clang"
  VERBATIM)
add_custom_target(http_request_fuzz ALL DEPENDS ${HTTP_FUZZ_BINARY})
set(HTTP_FUZZ_WORK ${CMAKE_BINARY_DIR}/http-fuzz)
file(MAKE_DIRECTORY ${HTTP_FUZZ_WORK}/corpus)
add_test(NAME http_request_fuzz
  COMMAND ${HTTP_FUZZ_BINARY} -max_total_time=30 -rss_limit_mb=1024 -max_len=4096
          -dict=${PROJECT_SOURCE_DIR}/tests/fuzz/http_request.dict
          -artifact_prefix=${HTTP_FUZZ_WORK}/
          ${HTTP_FUZZ_WORK}/corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/http_request_corpus
  WORKING_DIRECTORY ${HTTP_FUZZ_WORK})
set_tests_properties(http_request_fuzz PROPERTIES TIMEOUT 120)
