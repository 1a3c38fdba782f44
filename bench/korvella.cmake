# The program's beat road: korvella-sim on a 60 s generated track (wall time as a multiple of real
# time), and the CPU share of the windowed program playing a show from a sound file.
if(TARGET korvella_windows AND TARGET wavorix)
  add_executable(korvella_sim_bench ${CMAKE_CURRENT_LIST_DIR}/korvella_sim_bench.cpp)
  target_link_libraries(korvella_sim_bench PRIVATE korvella_windows benchmark::benchmark)
  # The track generator of the end-to-end tests.
  target_include_directories(korvella_sim_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(korvella_sim_bench PRIVATE WAVORIX_LIBRARY="$<TARGET_FILE:wavorix>")
  add_dependencies(korvella_sim_bench wavorix)
  # The 44.1 kHz baseline: the track's rate converted by libsamplerate alone.
  pkg_check_modules(KORVELLA_BENCH_AUDIO REQUIRED IMPORTED_TARGET sndfile samplerate)
  target_link_libraries(korvella_sim_bench PRIVATE PkgConfig::KORVELLA_BENCH_AUDIO)
endif()
if(TARGET korvella AND TARGET korvella_platform)
  # Prints the figure: korvella_cpu_bench [SECONDS]
  add_executable(korvella_cpu_bench ${CMAKE_CURRENT_LIST_DIR}/korvella_cpu_bench.cpp)
  target_link_libraries(korvella_cpu_bench PRIVATE korvella_platform)
  target_include_directories(korvella_cpu_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR})
  target_compile_definitions(korvella_cpu_bench PRIVATE KORVELLA_PROGRAM="$<TARGET_FILE:korvella>")
  add_dependencies(korvella_cpu_bench korvella)
endif()
if(TARGET korvella_windows AND TARGET korvella_gui)
  # Prints the figures: playlist_view_bench [ROWS]
  add_executable(playlist_view_bench ${CMAKE_CURRENT_LIST_DIR}/playlist_view_bench.cpp)
  target_link_libraries(playlist_view_bench PRIVATE korvella_windows korvella_gui)
endif()
