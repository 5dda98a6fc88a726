vocalis_test(engine_tests LIBS vocalis_app SOURCES
  app/engine_start_test.cpp
  app/engine_play_test.cpp
  app/engine_errors_test.cpp
  app/engine_controls_test.cpp
  app/engine_store_test.cpp
)
# The engine filming with the real recorder (GStreamer), a generated clip standing in for the camera.
vocalis_test(engine_camera_tests LIBS vocalis_app vocalis_camera vocalis_media SOURCES
  app/engine_camera_test.cpp app/media_samples.cpp
)
