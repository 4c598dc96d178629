# The graphic connection map, its surface and its five pictures.
add_library(veltran_map STATIC
    ${CMAKE_CURRENT_LIST_DIR}/connection_map.cpp
    ${CMAKE_CURRENT_LIST_DIR}/map_pictures.cpp
    ${CMAKE_CURRENT_LIST_DIR}/map_surface.cpp
    ${CMAKE_SOURCE_DIR}/resources/map/map_pictures.qrc)
target_link_libraries(veltran_map PUBLIC veltran_common veltran_scan Qt6::Widgets)

# Redraws the pictures into resources/map/ (kept in the repository): build the
# map_pictures target after changing the generator, then commit the BMP files.
add_executable(map_picture_generator EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/resources/map/make_map_pictures.cpp)
target_link_libraries(map_picture_generator PRIVATE veltran_common Qt6::Gui)
add_custom_target(map_pictures
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:map_picture_generator> ${CMAKE_SOURCE_DIR}/resources/map
    DEPENDS map_picture_generator
    COMMENT "Drawing the connection map's pictures")
