# Phone server benchmarks (figures in bench/README.md, section "Phone remote").
add_executable(bench_phone phone_bench.cpp)
target_link_libraries(bench_phone PRIVATE vocalis_remote benchmark::benchmark)
