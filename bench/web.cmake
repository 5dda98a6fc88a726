# The browser remote's search endpoint and live events under load.
add_executable(bench_web web_bench.cpp)
target_link_libraries(bench_web PRIVATE vocalis_web)
