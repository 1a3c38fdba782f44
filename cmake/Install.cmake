# The installation: the program in bin, its libraries (the audio control among them) in
# lib/korvella, the delivered data in share/korvella/assets, a desktop entry and its icon.
# The program folder of each user stays ~/.local/share/korvella (or $KORVELLA_HOME); the
# program copies the delivered effects and the demo playlist into it on its first start.
# CPack makes a .deb of the same, its library dependencies found by dpkg-shlibdeps.
if(NOT TARGET korvella)
  return()
endif()
include(GNUInstallDirs)
set(KORVELLA_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR}/korvella)
set(KORVELLA_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/korvella)
# Relative to the program's folder, so that the installation works under any prefix or DESTDIR.
file(RELATIVE_PATH korvella_lib_from_bin /p/${CMAKE_INSTALL_BINDIR} /p/${KORVELLA_INSTALL_LIBDIR})
file(RELATIVE_PATH korvella_data_from_bin /p/${CMAKE_INSTALL_BINDIR} /p/${KORVELLA_INSTALL_DATADIR})
target_compile_definitions(korvella PRIVATE KORVELLA_LIB_FROM_BIN="${korvella_lib_from_bin}"
                                            KORVELLA_DATA_FROM_BIN="${korvella_data_from_bin}")

set(korvella_libraries korvella_platform korvella_forms korvella_gui korvella_player wavorix)
# Installing and packaging take what the build made instead of building everything first (the
# tests and benchmarks included); scripts/run.sh builds what is installed. Built or not, it is
# said before anything is copied.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(korvella_installed_files $<TARGET_FILE:korvella>)
foreach(lib ${korvella_libraries})
  list(APPEND korvella_installed_files $<TARGET_FILE:${lib}>)
endforeach()
list(APPEND korvella_installed_files ${CMAKE_BINARY_DIR}/bin/assets/Demo.bpl)
install(CODE "
  set(korvella_installed_files \"${korvella_installed_files}\")
  foreach(f IN LISTS korvella_installed_files)
    if(NOT EXISTS \"\${f}\")
      message(FATAL_ERROR \"\${f} has not been built: build the program first (scripts/build.sh default korvella)\")
    endif()
  endforeach()")
set_target_properties(korvella PROPERTIES INSTALL_RPATH "$ORIGIN/${korvella_lib_from_bin}")
set_target_properties(${korvella_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS korvella RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${korvella_libraries} LIBRARY DESTINATION ${KORVELLA_INSTALL_LIBDIR})
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/assets/ DESTINATION ${KORVELLA_INSTALL_DATADIR}/assets)
# The relay that reaches DMXControl under Wine, where the cross compiler built it.
foreach(relay korvella-relay korvella-relay32)
  if(TARGET ${relay}_exe)
    install(FILES ${CMAKE_BINARY_DIR}/bin/${relay}.exe DESTINATION ${KORVELLA_INSTALL_LIBDIR})
  endif()
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/assets/korvella.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/assets/korvella.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvella)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Korvella developers <korvella@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Projector light show driven by the kick-drum beats of live music")
set(CPACK_PACKAGE_DESCRIPTION
    "Korvella listens to a sound input, detects kick-drum beats and plays layered effect movies, strobes and a playlist on a borderless projector window; it can press the buttons of the lighting program DMXControl. Wavorix, its audio capture and analysis library, comes with it.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program's own libraries, for dpkg-shlibdeps to find (they are in the package, not a dependency).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# Not linked, but needed: Qt's German texts for the dialogs, a font for every window.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n, fonts-dejavu-core")
# DMXControl runs under Wine; the program works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine64")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY korvella)
include(CPack)
