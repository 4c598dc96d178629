# The connection log itself: plain POSIX file writes, no Qt.
add_library(veltran_log STATIC ${CMAKE_CURRENT_LIST_DIR}/connection_log.cpp)
target_link_libraries(veltran_log PUBLIC veltran_common Threads::Threads)
