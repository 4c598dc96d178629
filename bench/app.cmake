if(TARGET veltran)
    add_executable(app_cpu_bench app_cpu_bench.cpp ${CMAKE_SOURCE_DIR}/tests/app/sockets.cpp
                                 ${CMAKE_SOURCE_DIR}/tests/common/netns.cpp ${CMAKE_SOURCE_DIR}/tests/common/process.cpp)
    target_link_libraries(app_cpu_bench PRIVATE veltran_common)
    add_dependencies(app_cpu_bench veltran inetmib1)
endif()
