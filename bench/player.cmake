# The projector picture at 1920 x 1080: a vector effect, dimmer 12 and a GIF mask.
find_package(GIF REQUIRED)
add_executable(player_bench ${CMAKE_CURRENT_LIST_DIR}/player_bench.cpp)
target_link_libraries(player_bench PRIVATE korvella_player GIF::GIF benchmark::benchmark)
if(TARGET korvella_assets)
  add_dependencies(player_bench korvella_assets)
endif()
