add_executable(veltran_log_ui_tests
    ${CMAKE_CURRENT_LIST_DIR}/shell_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/jpeg_image_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tform_about_tests.cpp
)
target_link_libraries(veltran_log_ui_tests PRIVATE veltran_log_ui veltran_test_main_gui JPEG::JPEG)
# The help page is checked where the program looks for it, beside the executables.
add_dependencies(veltran_log_ui_tests veltran_help)
gtest_discover_tests(veltran_log_ui_tests DISCOVERY_MODE PRE_TEST)
