# The shell helper, the about box and its picture (widgets), for the window program.
add_library(veltran_log_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/shell.cpp
    ${CMAKE_CURRENT_LIST_DIR}/jpeg_image.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tform_about.cpp
    ${CMAKE_SOURCE_DIR}/resources/about.qrc
)
target_link_libraries(veltran_log_ui PUBLIC veltran_common veltran_log Qt6::Widgets JPEG::JPEG)

# Regenerates resources/about.jpg: cmake --build BUILD --target veltran_about_picture,
# then run bin/veltran_about_picture resources/about.jpg.
add_executable(veltran_about_picture EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/resources/about_picture.cpp)
target_link_libraries(veltran_about_picture PRIVATE veltran_common JPEG::JPEG)
