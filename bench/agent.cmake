# agent_bench: the agent's full walk against the bare kernel read, `ss -tan` and `netstat -tan`,
# on 2,000 and 20,000 loopback connections in a private network namespace (run as root).
add_executable(agent_bench ${CMAKE_CURRENT_SOURCE_DIR}/agent_bench.cpp)
target_link_libraries(agent_bench PRIVATE veltran_platform veltran_mib2 veltran_testns)
add_dependencies(agent_bench inetmib1)
