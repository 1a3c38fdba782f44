# What the mask painter links beyond the forms runtime: fontconfig and FreeType list the screen
# fonts and print the text brush.
pkg_check_modules(KORVELLA_FONTS REQUIRED IMPORTED_TARGET fontconfig freetype2)
target_link_libraries(korvella_windows PRIVATE PkgConfig::KORVELLA_FONTS)
