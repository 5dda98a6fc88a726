# HTTP core and the local media service. No Qt, no libVLC.
add_library(vocalis_http_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/http_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_request.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_range.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_date.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_boundary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_file_response.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_connection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_server.cpp
)
target_link_libraries(vocalis_http_core PUBLIC vocalis_base)

add_library(vocalis_http STATIC
  ${CMAKE_CURRENT_LIST_DIR}/media_service_routing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media_service.cpp
)
target_link_libraries(vocalis_http PUBLIC vocalis_http_core vocalis_catalogue)

