# The reference melody: accuracy on generated songs, its time against FFmpeg's own decode of the
# same song, the pitch tracker on a clean voice (figures in bench/README.md, section "Reference melody").
add_executable(bench_melody melody_bench.cpp ${PROJECT_SOURCE_DIR}/tests/audio/sung_song.cpp)
target_include_directories(bench_melody PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(bench_melody PRIVATE vocalis_analysis vocalis_audio)
