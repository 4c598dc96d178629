# soak_churn: the loopback connection churn that bench/soak.sh runs beside the monitor.
add_executable(soak_churn ${CMAKE_CURRENT_LIST_DIR}/soak_churn.cpp)
target_link_libraries(soak_churn PRIVATE veltran_common)
