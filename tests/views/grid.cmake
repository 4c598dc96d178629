# The connection grid: block copy, model and the grid widget on the offscreen platform.
add_executable(grid_tests
    block_copy_test.cpp
    grid_model_test.cpp
    string_grid_test.cpp
)
target_link_libraries(grid_tests PRIVATE veltran_test_main_gui veltran_grid Qt6::Test)
gtest_discover_tests(grid_tests DISCOVERY_MODE PRE_TEST)
