# The HTTP server alone over a folder or as the thumbnail endpoint, for bench/http_bench.sh.
add_executable(vocalis-http-bench-server http_bench_server.cpp)
target_link_libraries(vocalis-http-bench-server PRIVATE vocalis_http vocalis_thumbnails)
