# Phone remote tests: wire protocol, phone server, discovery and vocalis-remote, on real
# loopback sockets; and the command-stream fuzz target, run for a bounded time.
vocalis_test(phone_tests LIBS vocalis_remote SOURCES
  remote/wire_protocol_test.cpp
  remote/socket_manager_test.cpp
  remote/discovery_test.cpp
  remote/remote_tool_test.cpp
)
add_dependencies(phone_tests vocalis-remote)
