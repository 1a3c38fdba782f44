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
# DMXControl's windows for the tests) are built with the MinGW-w64 cross compiler when it is there;
# with the 32-bit one too as NAME32.exe, for a 32-bit Wine prefix (WINEARCH=win32).
find_program(KORVELLA_MINGW_CXX x86_64-w64-mingw32-g++)
find_program(KORVELLA_MINGW32_CXX i686-w64-mingw32-g++)
if(KORVELLA_MINGW_CXX)
  message(STATUS "Windows programs for Wine (korvella-relay.exe, dmxc-standin.exe): built with ${KORVELLA_MINGW_CXX}")
else()
  message(STATUS "Windows programs for Wine: not built, no x86_64-w64-mingw32-g++ "
                 "(scripts/install-deps.sh installs it); the DMXControl bridge reaches only the stand-in")
endif()
if(KORVELLA_MINGW32_CXX)
  message(STATUS "32-bit Windows programs for Wine (korvella-relay32.exe, dmxc-standin32.exe): built with ${KORVELLA_MINGW32_CXX}")
endif()

# korvella_win32_program(NAME SOURCE [LIBS...]): bin/NAME.exe (and bin/NAME32.exe) from one source
# file, static and stripped, so that Wine needs no MinGW libraries beside it.
function(korvella_win32_program name source)
  set(werror "")
  if(KORVELLA_WERROR)
    set(werror -Werror)
  endif()
  set(libs "")
  foreach(lib ${ARGN})
    list(APPEND libs -l${lib})
  endforeach()
  foreach(variant "" 32)
    if(variant STREQUAL "")
      set(cxx ${KORVELLA_MINGW_CXX})
    else()
      set(cxx ${KORVELLA_MINGW32_CXX})
    endif()
    if(NOT cxx)
      continue()
    endif()
    set(exe ${CMAKE_BINARY_DIR}/bin/${name}${variant}.exe)
    add_custom_command(OUTPUT ${exe}
      COMMAND ${cxx} -std=c++20 -O2 -Wall -Wextra ${werror} -static -s -I${CMAKE_SOURCE_DIR} -o ${exe} ${source} ${libs}
      DEPENDS ${source} ${CMAKE_SOURCE_DIR}/platform/windows/relay_protocol.h
      COMMENT "Building ${name}${variant}.exe for Wine"
      VERBATIM)
    add_custom_target(${name}${variant}_exe ALL DEPENDS ${exe})
  endforeach()
endfunction()
