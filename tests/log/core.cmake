# The connection log core: file format, names, and the two writers side by side.
add_executable(test_log_core ${CMAKE_CURRENT_LIST_DIR}/connection_log_test.cpp)
target_link_libraries(test_log_core PRIVATE veltran_log veltran_test_main_core)
gtest_discover_tests(test_log_core DISCOVERY_MODE PRE_TEST)

add_executable(test_log_threads ${CMAKE_CURRENT_LIST_DIR}/connection_log_threads_test.cpp)
target_link_libraries(test_log_threads PRIVATE veltran_log veltran_test_main_core)
gtest_discover_tests(test_log_threads PROPERTIES LABELS thread DISCOVERY_MODE PRE_TEST)
