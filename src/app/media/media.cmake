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

# The video output the player gives libVLC: a libVLC plugin, loaded by libVLC from
# lib/vocalis/vlc beside the program's bin folder (in the build tree and once installed).
pkg_check_modules(VLC_PLUGIN REQUIRED IMPORTED_TARGET vlc-plugin)
add_library(vocalis_display_plugin MODULE ${CMAKE_CURRENT_LIST_DIR}/vlc_display/display_module.cpp)
target_compile_definitions(vocalis_display_plugin PRIVATE MODULE_STRING="vocalis_display")
target_include_directories(vocalis_display_plugin PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vocalis_display_plugin PRIVATE PkgConfig::VLC_PLUGIN)
set_target_properties(vocalis_display_plugin PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/vocalis/vlc
  CXX_VISIBILITY_PRESET hidden)
add_dependencies(vocalis_media vocalis_display_plugin)
find_library(MEDIA_YUV_LIBRARY yuv REQUIRED)
target_link_libraries(vocalis_media PRIVATE ${MEDIA_YUV_LIBRARY})
