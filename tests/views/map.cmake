add_executable(map_tests
    ${CMAKE_CURRENT_LIST_DIR}/map_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/map_layout_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/map_drawing_test.cpp)
target_link_libraries(map_tests PRIVATE veltran_common veltran_test_main_gui veltran_map)
gtest_discover_tests(map_tests DISCOVERY_MODE PRE_TEST)
