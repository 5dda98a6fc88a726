# The browser remote over real loopback sockets, with the engine of the app tests.
vocalis_test(web_tests LIBS vocalis_web SOURCES
  web/web_remote_test.cpp
  web/event_client.cpp
)
