# The browser remote's search endpoint and live events under load.
if(TARGET vocalis_web)
  add_executable(bench_web web_bench.cpp)
  target_link_libraries(bench_web PRIVATE vocalis_web)
endif()
