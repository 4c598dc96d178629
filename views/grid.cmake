# The connection grid: model, cell drawing, block copy and the grid widget.
add_library(veltran_grid STATIC
    block_copy.cpp
    grid_model.cpp
    grid_delegate.cpp
    string_grid.cpp
)
target_link_libraries(veltran_grid PUBLIC veltran_common veltran_scan Qt6::Widgets)
