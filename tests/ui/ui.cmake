# The Qt desktop layer, on Qt's offscreen platform: real widgets, no display needed.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
vocalis_test(ui_tests LIBS vocalis_ui Qt6::Test SOURCES
  ui/qt_environment.cpp ui/qt_scheduler_test.cpp ui/settings_preferences_test.cpp ui/overlays_test.cpp
  ui/video_view_test.cpp ui/main_window_test.cpp ui/operator_windows_test.cpp ui/settings_delay_test.cpp
  app/media_samples.cpp
)
