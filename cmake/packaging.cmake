# Installing like any desktop program (XDG places under the prefix), and the Debian package
# made from that install with CPack.
include(GNUInstallDirs)

set(VOCALIS_APP_ID vocalis-player)  # the desktop entry, the icon and the data folder
set(VOCALIS_DESKTOP ${PROJECT_SOURCE_DIR}/resources/desktop)

install(TARGETS vocalis-player RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The operators' tools are on PATH too.
install(TARGETS vocalis-catalogue vocalis-remote vocalis-history vocalis-melody RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The player's video output for libVLC, found in ../lib/vocalis/vlc beside the bin folder.
install(TARGETS vocalis_display_plugin LIBRARY DESTINATION lib/vocalis/vlc)
# FFmpeg's and aubio's work for the measured score, loaded from ../lib/vocalis when first needed.
install(TARGETS vocalis_analysis_module LIBRARY DESTINATION lib/vocalis)

# The program finds these in ../share/vocalis-player beside its bin folder.
install(FILES
  ${PROJECT_SOURCE_DIR}/resources/intro.mp4
  ${PROJECT_SOURCE_DIR}/resources/idle.mp4
  ${PROJECT_SOURCE_DIR}/resources/banner.png
  ${PROJECT_SOURCE_DIR}/resources/score_bg.png
  ${PROJECT_SOURCE_DIR}/resources/vcplayer_score.mp3
  DESTINATION ${CMAKE_INSTALL_DATADIR}/${VOCALIS_APP_ID})

install(FILES ${VOCALIS_DESKTOP}/${VOCALIS_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VOCALIS_DESKTOP}/${VOCALIS_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# A systemd user unit that starts the player with the graphical session and again after a
# crash; a venue turns it on instead of launch at login. Its ExecStart is written at install
# time, when the prefix is known (CPack installs under /usr).
set(VOCALIS_UNIT ${CMAKE_BINARY_DIR}/systemd/${VOCALIS_APP_ID}.service)
install(CODE "
  set(VOCALIS_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/resources/systemd/${VOCALIS_APP_ID}.service.in\" \"${VOCALIS_UNIT}\" @ONLY)
")
install(FILES ${VOCALIS_UNIT} DESTINATION lib/systemd/user)

# The 256 px icon is drawn from the SVG at build time, by the ffmpeg the player needs anyway.
set(VOCALIS_ICON_PNG ${CMAKE_BINARY_DIR}/icons/${VOCALIS_APP_ID}.png)
add_custom_command(
  OUTPUT ${VOCALIS_ICON_PNG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons
  COMMAND ffmpeg -v error -y -i ${VOCALIS_DESKTOP}/${VOCALIS_APP_ID}.svg -vf scale=256:256 -frames:v 1
          -f image2 -c:v png ${VOCALIS_ICON_PNG}
  DEPENDS ${VOCALIS_DESKTOP}/${VOCALIS_APP_ID}.svg
  VERBATIM)
# Debian wants the changelog compressed, reproducibly (no name or time in the header).
set(VOCALIS_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/package/changelog.gz)
add_custom_command(
  OUTPUT ${VOCALIS_CHANGELOG_GZ}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
  COMMAND sh -c "gzip -n -9 -c '${PROJECT_SOURCE_DIR}/resources/debian/changelog' > '${VOCALIS_CHANGELOG_GZ}'"
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/debian/changelog
  VERBATIM)
add_custom_target(vocalis-desktop-files ALL DEPENDS ${VOCALIS_ICON_PNG} ${VOCALIS_CHANGELOG_GZ})
install(FILES ${VOCALIS_ICON_PNG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright ${VOCALIS_CHANGELOG_GZ}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${VOCALIS_APP_ID})

# The Debian package: library dependencies from the binaries (dpkg-shlibdeps), plus what the
# program loads or runs rather than links: libVLC's plugins, Qt's display plugins, ffmpeg.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VOCALIS_APP_ID})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vocalis Player developers")
# GPL-3.0-or-later: the player links librubberband, which is GPL-2.0-or-later.
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CONTACT "Vocalis Player developers <maintainers@vocalis-player.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "vlc-plugin-base, qt6-qpa-plugins, ffmpeg")
# The camera is optional hardware: its GStreamer plugins are recommended, not required. So is
# decoding in the graphics card: VA-API's picture copy-back is in vlc-plugin-video-output.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-noto-core, pulseaudio | pipewire-pulse, vlc-plugin-video-output, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, \
gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly, gstreamer1.0-libav, gstreamer1.0-pulseaudio")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "karaoke player for a venue or home screen
Vocalis Player scans the song drives plugged into the computer and plays the
songs guests queue from their phones or a browser, with title banners, an
up-next panel, scoring and the keyboard's media keys.")
include(CPack)
