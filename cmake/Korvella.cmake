# korvella_test(NAME folder LIBS...): one GoogleTest program from every .cpp in tests/<folder>,
# started by tests/support/test_main.cpp (headless, with settings of its own).
function(korvella_test name folder)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs} ${CMAKE_SOURCE_DIR}/tests/support/test_main.cpp)
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gmock)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE KORVELLA_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${folder}.")
endfunction()

# The Windows programs (the relay that reaches DMXControl under Wine, and a Win32 stand-in of
# DMXControl's windows for the tests) are built with the MinGW-w64 cross compiler when it is there.
find_program(KORVELLA_MINGW_CXX x86_64-w64-mingw32-g++)
if(KORVELLA_MINGW_CXX)
  message(STATUS "Windows programs for Wine (korvella-relay.exe, dmxc-standin.exe): built with ${KORVELLA_MINGW_CXX}")
else()
  message(STATUS "Windows programs for Wine: not built, no x86_64-w64-mingw32-g++ "
                 "(scripts/install-deps.sh installs it); the DMXControl bridge reaches only the stand-in")
endif()

# korvella_win32_program(NAME SOURCE [LIBS...]): bin/NAME.exe from one source file, static, so that
# Wine needs no MinGW libraries beside it.
function(korvella_win32_program name source)
  if(NOT KORVELLA_MINGW_CXX)
    return()
  endif()
  set(exe ${CMAKE_BINARY_DIR}/bin/${name}.exe)
  set(werror "")
  if(KORVELLA_WERROR)
    set(werror -Werror)
  endif()
  set(libs "")
  foreach(lib ${ARGN})
    list(APPEND libs -l${lib})
  endforeach()
  add_custom_command(OUTPUT ${exe}
    COMMAND ${KORVELLA_MINGW_CXX} -std=c++20 -O2 -Wall -Wextra ${werror} -static -I${CMAKE_SOURCE_DIR} -o ${exe} ${source} ${libs}
    DEPENDS ${source} ${CMAKE_SOURCE_DIR}/platform/windows/relay_protocol.h
    COMMENT "Building ${name}.exe for Wine"
    VERBATIM)
  add_custom_target(${name}_exe ALL DEPENDS ${exe})
endfunction()
