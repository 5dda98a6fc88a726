add_library(vocalis_app STATIC
  ${CMAKE_CURRENT_LIST_DIR}/app_delegate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/equalizer_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/keep_play.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_change.cpp
  ${CMAKE_CURRENT_LIST_DIR}/phone_news.cpp
  ${CMAKE_CURRENT_LIST_DIR}/player_events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reference_melodies.cpp
  ${CMAKE_CURRENT_LIST_DIR}/remote_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scoring.cpp
  ${CMAKE_CURRENT_LIST_DIR}/singing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/song_start.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/written_play_store.cpp
)
target_link_libraries(vocalis_app PUBLIC vocalis_audio vocalis_store vocalis_remote vocalis_thumbnails vocalis_catalogue vocalis_base)
