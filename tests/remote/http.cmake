# The HTTP core and the local media service on real loopback sockets.
vocalis_test(http_tests LIBS vocalis_http SOURCES remote/http_server_test.cpp)

# vocalis_fuzz(NAME SEEDS folder SOURCES file... [DEPENDS file...] [ARGS arg...]): a libFuzzer target
# built by clang beside the GCC build, run for a bounded time; new inputs go to the build tree.
find_program(VOCALIS_FUZZ_CLANG NAMES clang++ clang++-14 REQUIRED)
function(vocalis_fuzz name)
  cmake_parse_arguments(ARG "" "SEEDS" "SOURCES;DEPENDS;ARGS" ${ARGN})
  set(binary ${CMAKE_BINARY_DIR}/bin/${name})
  set(work ${CMAKE_BINARY_DIR}/fuzz/${name})
  add_custom_command(OUTPUT ${binary}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin
    COMMAND ${VOCALIS_FUZZ_CLANG} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined
            -fno-sanitize-recover=undefined -I${PROJECT_SOURCE_DIR}/src ${ARG_SOURCES} -o ${binary}
    DEPENDS ${ARG_SOURCES} ${ARG_DEPENDS}
    COMMENT "Building the fuzz target ${name} with clang"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${binary})
  file(MAKE_DIRECTORY ${work}/corpus)
  add_test(NAME ${name} COMMAND ${binary} -max_total_time=30 -artifact_prefix=${work}/ ${ARG_ARGS}
           ${work}/corpus ${ARG_SEEDS} WORKING_DIRECTORY ${work})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

set(remote_src ${PROJECT_SOURCE_DIR}/src/remote)
vocalis_fuzz(http_request_fuzz SEEDS ${PROJECT_SOURCE_DIR}/tests/fuzz/http_request_corpus
  SOURCES ${PROJECT_SOURCE_DIR}/tests/fuzz/http_request_fuzz.cpp ${remote_src}/http_text.cpp ${remote_src}/http_request.cpp
          ${remote_src}/http_range.cpp
  DEPENDS ${remote_src}/http_text.h ${remote_src}/http_request.h ${remote_src}/http_range.h
  ARGS -rss_limit_mb=1024 -max_len=4096 -dict=${PROJECT_SOURCE_DIR}/tests/fuzz/http_request.dict)
