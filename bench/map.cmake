# map_bench: one full map run (ordering, drawing, copy) of 200 rows.
#   map_bench            median times over 1000 runs, at the top and scrolled
#   map_bench --runs N   N plain runs and no timing, for valgrind --tool=callgrind
add_executable(map_bench ${CMAKE_CURRENT_LIST_DIR}/map_bench.cpp)
target_link_libraries(map_bench PRIVATE veltran_common veltran_map)
