# The generator of the toolbar pictures; not built by default. Its output is committed.
add_executable(make_toolbar_pictures EXCLUDE_FROM_ALL toolbar/make_toolbar_pictures.cpp)
target_link_libraries(make_toolbar_pictures PRIVATE veltran_common Qt6::Gui)
