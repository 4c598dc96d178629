# remote_bench: reading SNMP agents (net-snmp's snmpd, started in a private network namespace).
#   remote_bench walk [rounds]   one agent holding 2,000 connections: whole-process veltran-scan HOST
#                                against net-snmp's own snmpbulkwalk of tcpConnTable
#   remote_bench many [rounds]   20 agents holding 200 connections each: veltran-scan of all 20 at once
#                                against veltran-scan of the slowest one alone
#   remote_bench                 both
if(TARGET veltran-scan)
    add_executable(remote_bench ${CMAKE_CURRENT_LIST_DIR}/remote_bench.cpp)
    target_link_libraries(remote_bench PRIVATE veltran_scan veltran_testns)
    target_compile_definitions(remote_bench PRIVATE VELTRAN_SCAN_PATH="$<TARGET_FILE:veltran-scan>")
    add_dependencies(remote_bench veltran-scan)
endif()
