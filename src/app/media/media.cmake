# vocalis_media: the media player on libVLC 3 and its own sound path (rubberband for the key,
# libpulse for the output). libVLC stays private to this library.
pkg_check_modules(LIBVLC REQUIRED IMPORTED_TARGET libvlc)
pkg_check_modules(MEDIA_SOUND REQUIRED IMPORTED_TARGET libpulse rubberband)

add_library(vocalis_media STATIC
  ${CMAKE_CURRENT_LIST_DIR}/vlc_media_player.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sound_output.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sound_processor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pitch_shifter.cpp
)
target_link_libraries(vocalis_media PUBLIC vocalis_base PRIVATE PkgConfig::LIBVLC PkgConfig::MEDIA_SOUND)
