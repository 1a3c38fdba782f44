add_executable(loop_bench ${CMAKE_CURRENT_LIST_DIR}/loop_bench.cpp)
target_link_libraries(loop_bench PRIVATE korvella_platform)
