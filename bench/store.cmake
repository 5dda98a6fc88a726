# The durable store: a queue change against a bare SQLite commit, restore, one guest's songs
# (figures in bench/README.md, section "Durable store").
find_package(SQLite3 REQUIRED)
add_executable(bench_store store_bench.cpp)
target_link_libraries(bench_store PRIVATE vocalis_store SQLite::SQLite3)
