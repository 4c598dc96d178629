# scan_bench: the scanning core as a whole.
#   scan_bench resolver [ms]   one scanner, a fake resolver taking ms (50) per look-up: first and
#                              second scan of 200 distinct remote addresses, times and look-up counts
#   scan_bench process [runs]  in a private network namespace with 2,000 TCP connections: median
#                              whole-process time of veltran-scan with names off, netstat -tan, ss -tan
#   scan_bench                 both
if(TARGET veltran_scan_fakes AND TARGET veltran-scan)
    add_executable(scan_bench ${CMAKE_CURRENT_LIST_DIR}/scan_bench.cpp)
    target_link_libraries(scan_bench PRIVATE veltran_scan_fakes veltran_testns)
    target_compile_definitions(scan_bench PRIVATE VELTRAN_SCAN_PATH="$<TARGET_FILE:veltran-scan>")
    add_dependencies(scan_bench veltran-scan)
endif()
