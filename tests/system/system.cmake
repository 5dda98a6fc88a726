# The system integrations against real services started by the tests (a private PulseAudio).
vocalis_test(system_tests LIBS vocalis_system SOURCES
  system/system_volume_test.cpp
  system/autostart_test.cpp
)
