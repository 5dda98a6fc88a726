# The phone remote: wire protocol, phone server, discovery responder, and vocalis-remote.
add_library(vocalis_remote STATIC
  ${CMAKE_CURRENT_LIST_DIR}/command_stream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/discovery_protocol.cpp
  ${CMAKE_CURRENT_LIST_DIR}/discovery_responder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_stream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/phone_client.cpp
  ${CMAKE_CURRENT_LIST_DIR}/phone_connection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/socket_manager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wire_protocol.cpp
)
target_link_libraries(vocalis_remote PUBLIC vocalis_catalogue vocalis_base)

add_executable(vocalis-remote ${CMAKE_CURRENT_LIST_DIR}/../tools/remote_tool.cpp)
target_link_libraries(vocalis-remote PRIVATE vocalis_remote)
