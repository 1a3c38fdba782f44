# korvella_test(NAME folder LIBS...): one GoogleTest program from every .cpp in tests/<folder>.
# Tests run on the offscreen Qt platform and never touch the user's own settings.
function(korvella_test name folder)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KORVELLA_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data"
    TEST_PREFIX "${folder}.")
endfunction()
