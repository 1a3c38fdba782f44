# The audio control's analysis step and capture road, beside FFTW's real transform of the same
# block (FFTW only for this comparison).
pkg_check_modules(WAVORIX_BENCH_FFTW IMPORTED_TARGET fftw3f)
if(TARGET wavorix AND WAVORIX_BENCH_FFTW_FOUND)
  add_executable(wavorix_bench ${CMAKE_CURRENT_LIST_DIR}/wavorix_bench.cpp)
  target_link_libraries(wavorix_bench PRIVATE wavorix korvella_forms benchmark::benchmark PkgConfig::WAVORIX_BENCH_FFTW)
  target_compile_definitions(wavorix_bench PRIVATE WAVORIX_LIBRARY="$<TARGET_FILE:wavorix>")
  add_dependencies(wavorix_bench wavorix)
endif()
