# The song selection window's search, key press to repaint, against Qt's own filter model.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
add_executable(bench_selection selection_bench.cpp)
target_link_libraries(bench_selection PRIVATE vocalis_ui Qt6::Test)
