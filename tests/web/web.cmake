# The browser remote over real loopback sockets, with the engine of the app tests.
vocalis_test(web_tests LIBS vocalis_web SOURCES web/web_remote_test.cpp web/event_client.cpp)
# A real headless Chromium at a phone's size against the real player (Debian's chromium,
# chromium-driver and python3-selenium).
add_test(NAME WebBrowser COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/web/browser_test.py ${CMAKE_BINARY_DIR}/bin)
set_tests_properties(WebBrowser PROPERTIES TIMEOUT 240)
