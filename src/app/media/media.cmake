# vocalis_media: the media player on libVLC 3. libVLC stays private to this library.
pkg_check_modules(LIBVLC REQUIRED IMPORTED_TARGET libvlc)

add_library(vocalis_media STATIC
  ${CMAKE_CURRENT_LIST_DIR}/vlc_media_player.cpp
)
target_link_libraries(vocalis_media PUBLIC vocalis_base PRIVATE PkgConfig::LIBVLC)
