# Phone remote tests: wire protocol, phone server, discovery and vocalis-remote, on real
# loopback sockets; and the command-stream fuzz target, run for a bounded time.
vocalis_test(phone_tests LIBS vocalis_remote SOURCES
  remote/wire_protocol_test.cpp
  remote/socket_manager_test.cpp
  remote/discovery_test.cpp
  remote/remote_tool_test.cpp
)
add_dependencies(phone_tests vocalis-remote)

# The fuzz target is built by clang with libFuzzer, apart from the main (GCC) build.
find_program(VOCALIS_CLANGXX NAMES clang++-14 clang++ REQUIRED)
set(phone_fuzz_sources
  ${PROJECT_SOURCE_DIR}/tests/fuzz/phone_command_stream_fuzz.cpp
  ${PROJECT_SOURCE_DIR}/src/remote/command_stream.cpp
  ${PROJECT_SOURCE_DIR}/src/remote/message_stream.cpp
  ${PROJECT_SOURCE_DIR}/src/remote/wire_protocol.cpp)
set(phone_fuzz ${CMAKE_BINARY_DIR}/bin/phone_command_stream_fuzz)
add_custom_command(OUTPUT ${phone_fuzz}
  COMMAND ${VOCALIS_CLANGXX} -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined
          -fno-sanitize-recover=undefined -I${PROJECT_SOURCE_DIR}/src ${phone_fuzz_sources} -o ${phone_fuzz}
  DEPENDS ${phone_fuzz_sources}
  COMMENT "Building the phone command-stream fuzz target with clang"
  VERBATIM)
add_custom_target(phone_command_stream_fuzz ALL DEPENDS ${phone_fuzz})
# New inputs go to a corpus in the build tree; the seeds in the source tree are only read.
add_test(NAME phone_command_stream_fuzz
  COMMAND sh -c "mkdir -p \"$1\" && exec \"$0\" -max_total_time=30 -rss_limit_mb=2048 -print_final_stats=1 \"$1\" \"$2\""
          ${phone_fuzz} ${CMAKE_BINARY_DIR}/fuzz/phone_corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/phone_seeds)
set_tests_properties(phone_command_stream_fuzz PROPERTIES TIMEOUT 300)
