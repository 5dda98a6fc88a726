# The wire protocol; phone server, vocalis-remote and discovery on loopback; the command-stream fuzz target.
vocalis_test(phone_tests LIBS vocalis_remote SOURCES
  remote/wire_protocol_test.cpp
  remote/phone_remote_test.cpp
)
add_dependencies(phone_tests vocalis-remote)
vocalis_fuzz(phone_command_stream_fuzz SEEDS ${PROJECT_SOURCE_DIR}/tests/fuzz/phone_seeds
  SOURCES ${PROJECT_SOURCE_DIR}/tests/fuzz/phone_command_stream_fuzz.cpp ${remote_src}/command_stream.cpp
          ${remote_src}/message_stream.cpp ${remote_src}/wire_protocol.cpp
  ARGS -rss_limit_mb=2048 -print_final_stats=1)
