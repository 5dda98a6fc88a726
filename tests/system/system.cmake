# The system integrations against real services started by the tests (a private PulseAudio, a private
# session bus, a virtual X display).
vocalis_test(system_tests LIBS vocalis_system vocalis_screen_awake SOURCES
  system/system_volume_test.cpp system/autostart_test.cpp system/screen_awake_test.cpp)
set_target_properties(system_tests PROPERTIES AUTOMOC ON)

# The Debian package built from this build, as a user installs it.
add_test(NAME DebianPackage
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/system/package_check.sh ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR})
set_tests_properties(DebianPackage PROPERTIES TIMEOUT 900)
